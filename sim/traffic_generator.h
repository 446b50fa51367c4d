// Synthetic traffic for a simulated counter, deterministic from the description's seed:
// arrivals spread over the study with morning and evening peaks, speeds around the speed limit,
// a mix of cars and trucks in both directions, some unclassified and stopped vehicles, and for
// model A optionally invalid and out-of-sequence records and the periodic records.
#pragma once

#include "description.h"
#include "study.h"

namespace tallysim {

Study GenerateStudy(const Description& description);

// Recomputes the periodic records of a study from its vehicles (after a test edited them).
// `zeroOffsetEvery` and `temperatureC` as in TrafficDescription; `seed` drives the
// temperature noise.
void ComputePeriods(Study& study, double temperatureC, unsigned zeroOffsetEvery, uint64_t seed);

// The models' own ways of storing generated traffic, which their rows in sim_models.cpp name.
class Random;
// Flag byte and stored measurements of a generated vehicle: model A keeps whole numbers and
// marks vehicles without a length; model B adds fraction bytes (tenths, or hundredths for the
// hundredths share) and noise in the top three flag bits.
void StoreModelAVehicle(Vehicle& vehicle, bool noLength, const TrafficDescription& traffic, Random& random);
void StoreModelBVehicle(Vehicle& vehicle, bool noLength, const TrafficDescription& traffic, Random& random);
// Model A: records stamped earlier than the one before, and invalid records.
void SpoilModelARecords(Study& study, const TrafficDescription& traffic, Random& random);

}  // namespace tallysim
