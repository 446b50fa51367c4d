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

}  // namespace tallysim
