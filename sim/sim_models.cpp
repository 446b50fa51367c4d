#include "sim_models.h"

#include <cstdio>
#include <cstdlib>

#include "model_a_counter.h"
#include "model_b_counter.h"
#include "traffic_generator.h"

namespace tallysim {

namespace {

// The shared row of a letter; a letter without one fails the build.
constexpr const tallyx::CounterModelInfo* Shared(const char* letter) {
    const size_t row = tallyx::ModelIndexOfLetter(letter);
    if (row >= std::size(tallyx::kCounterModels)) throw "no row of that letter in kCounterModels";
    return &tallyx::kCounterModels[row];
}

std::unique_ptr<Counter> MakeModelA(const Description& description, const Study& study, FaultPlan* faults,
                                    unsigned eraseDelayMs) {
    return std::make_unique<ModelACounter>(description, study, faults, eraseDelayMs);
}

std::unique_ptr<Counter> MakeModelB(const Description& description, const Study& study, FaultPlan* faults,
                                    unsigned /*eraseDelayMs*/) {
    return std::make_unique<ModelBCounter>(description, study, faults);
}

constexpr SimModel kSimModels[] = {
    {
        .model = Model::A,
        .info = Shared("A"),
        .traits = "framed colon commands, flash pages",
        .makeCounter = MakeModelA,
        .serialNumber = "A1024-0042",
        .firmware = "3.12",
        .batteryVoltage = "4.05",
        .acr = "2000_1800_0_2000",
        .batteryPercent = "",
        .recordCapacity = kARecordCapacity,
        .fullStudyVehicles = kARecordCapacity,
        .recordSpanMs = 0,
        .periodicCapacity = kAPeriodicCapacity,
        .datedRecords = true,
        .lengthlessRecords = true,
        .zeroOffsets = true,
        .storeVehicle = StoreModelAVehicle,
        .spoilRecords = SpoilModelARecords,
    },
    {
        .model = Model::B,
        .info = Shared("B"),
        .traits = "line commands, binary records",
        .makeCounter = MakeModelB,
        .serialNumber = "B2048-0117",
        .firmware = "2.0.7",
        .batteryVoltage = "6.42",
        .acr = "",
        .batteryPercent = "87",
        .recordCapacity = UINT64_MAX,
        .fullStudyVehicles = kBFullStudy,
        // Records hold the seconds from the study begin in 24 bits.
        .recordSpanMs = int64_t{0xFFFFFF} * 1000 + 999,
        .periodicCapacity = 0,
        .datedRecords = false,
        .lengthlessRecords = false,
        .zeroOffsets = false,
        .storeVehicle = StoreModelBVehicle,
        .spoilRecords = nullptr,
    },
};

}  // namespace

std::span<const SimModel> SimModels() { return kSimModels; }

const SimModel& SimModelOf(Model model) {
    for (const SimModel& row : kSimModels) {
        if (row.model == model) return row;
    }
    std::fprintf(stderr, "tallysim: no row in sim_models.cpp for model %d\n", static_cast<int>(model));
    std::abort();
}

const SimModel* SimModelOfLetter(std::string_view letter) {
    const tallyx::CounterModelInfo* shared = tallyx::ModelOfLetter(letter);
    for (const SimModel& row : kSimModels) {
        if (row.info == shared) return &row;
    }
    return nullptr;
}

std::string SimModelLetters() {
    std::string letters;
    for (const SimModel& row : kSimModels) letters += (letters.empty() ? "" : ", ") + std::string(row.info->letter);
    return letters;
}

}  // namespace tallysim
