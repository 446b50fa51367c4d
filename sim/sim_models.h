// The simulated counter models, one row each: what tallysim needs to know of a model beyond
// its row in the shared table (src/drivers/counter_models.h), which gives its name and letter.
// Every choice on the model in the simulator reads these rows. Each row stands in its
// counter's file (model_a_counter.cpp, ...) and sim_models.cpp lists them, so a new model is
// its counter's file and a line there, with nothing else falling back to an existing model.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "counter.h"
#include "description.h"
#include "drivers/counter_models.h"
#include "fault_plan.h"
#include "random.h"
#include "study.h"

namespace tallysim {

struct SimModel {
    // The shared row: name ("ZK110", also the default unit type) and letter ("A").
    const tallyx::CounterModelInfo* info;
    Model model;
    // How the counter talks, for tallysim --help ("framed colon commands, flash pages").
    const char* traits;

    // The counter of this model. `eraseDelayMs`: the working time of an erase, for a model
    // whose erase takes one.
    std::unique_ptr<Counter> (*makeCounter)(const Description& description, const Study& study, FaultPlan* faults,
                                            unsigned eraseDelayMs);

    // The default device (Description::Defaults); "" leaves a field empty.
    const char* serialNumber;
    const char* firmware;
    const char* batteryVoltage;
    const char* acr;
    const char* batteryPercent;

    // Traffic generation.
    uint64_t recordCapacity;     // records the counter holds at most; UINT64_MAX: no limit
    uint64_t fullStudyVehicles;  // what vehicles = full means
    int64_t recordSpanMs;        // a record's time lies before begin + this; 0: no limit
    int64_t periodicCapacity;    // periodic records the counter holds at most; 0: no limit
    bool datedRecords;           // honours the date encoding setting
    bool lengthlessRecords;      // stores vehicles without a length (the nolength share)
    bool zeroOffsets;            // stores periodic records with end offset 0 (zerooffsets)
    // Sets a generated vehicle's flag byte and stored measurements; may draw on `random`.
    // `noLength`: a vehicle whose length was not measured.
    void (*storeVehicle)(Vehicle& vehicle, bool noLength, const TrafficDescription& traffic, Random& random);
    // Spoils some of the generated records as the counter would (out of sequence, invalid);
    // nullptr for a model without such records.
    void (*spoilRecords)(Study& study, const TrafficDescription& traffic, Random& random);
};

std::span<const SimModel* const> SimModels();
// The row of a model; a Model value without a row aborts.
const SimModel& SimModelOf(Model model);
// The row of a letter in either case ("A", "b"); nullptr when no row has it.
const SimModel* SimModelOfLetter(std::string_view letter);
// The letters of the rows, "A, B".
std::string SimModelLetters();

// The shared row of a letter, for a model's row; a letter without one fails the build.
constexpr const tallyx::CounterModelInfo* SharedModel(const char* letter) {
    const size_t row = tallyx::ModelIndexOfLetter(letter);
    if (row >= std::size(tallyx::kCounterModels)) throw "no row of that letter in kCounterModels";
    return &tallyx::kCounterModels[row];
}

}  // namespace tallysim
