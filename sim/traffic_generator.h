// Synthetic traffic for a simulated counter, deterministic from the description's seed:
// arrivals spread over the study with morning and evening peaks, speeds around the speed limit,
// a mix of cars and trucks in both directions, some unclassified and stopped vehicles, stored
// and spoiled as each model's row (sim_models.h) says, and the periodic records.
#pragma once

#include "description.h"
#include "study.h"

namespace tallysim {

Study GenerateStudy(const Description& description);

// Recomputes the periodic records of a study from its vehicles (after a test edited them).
// `zeroOffsetEvery` and `temperatureC` as in TrafficDescription; `seed` drives the
// temperature noise.
void ComputePeriods(Study& study, double temperatureC, unsigned zeroOffsetEvery, uint64_t seed);

// A measurement rounded to a whole number in 0 to 255, as a counter stores it in a byte.
uint8_t RoundedByte(double value);

}  // namespace tallysim
