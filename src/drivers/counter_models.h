#pragma once
// The table of counter models, one row each (drivers/counter_model_info.h),
// each row from its model's folder. Plain data without dependencies, so that
// the library, tallyx and tallysim read the same rows. The library pairs each
// row with the model's driver in drivers/counter_drivers.cpp; a row without a
// driver fails the build.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>

#include "drivers/counter_model_info.h"
#include "drivers/modela/zk110_model.h"
#include "drivers/modelb/zk220_model.h"

namespace tallyx {

inline constexpr CounterModelInfo kCounterModels[] = {kZK110Model, kZK220Model};

inline constexpr std::span<const CounterModelInfo> CounterModels() { return kCounterModels; }

// The model of an upper-cased wake-up line: of the rows whose wake-up text it
// contains, the one whose mark it contains, else the one without a mark;
// nullptr when no model sends such a line.
constexpr const CounterModelInfo* ModelOfWakeUp(std::string_view line) {
    const CounterModelInfo* unmarked = nullptr;
    for (const CounterModelInfo& model : kCounterModels) {
        if (line.find(model.wakeUpText) == std::string_view::npos) continue;
        if (model.wakeUpMark[0] == '\0') {
            unmarked = &model;
        } else if (line.find(model.wakeUpMark) != std::string_view::npos) {
            return &model;
        }
    }
    return unmarked;
}

// Every wake-up line names a model: exactly one row takes those no other row claims.
constexpr bool OneRowTakesUnclaimedWakeUps() {
    int unmarked = 0;
    for (const CounterModelInfo& model : kCounterModels) unmarked += model.wakeUpMark[0] == '\0' ? 1 : 0;
    return unmarked == 1;
}
static_assert(OneRowTakesUnclaimedWakeUps(), "exactly one row must take the wake-up lines no other row claims");

// The model whose name a unit type carries; nullptr when none does.
constexpr const CounterModelInfo* ModelOfUnitType(std::string_view unitType) {
    for (const CounterModelInfo& model : kCounterModels) {
        if (unitType.find(model.name) != std::string_view::npos) return &model;
    }
    return nullptr;
}

// The row number of a letter, in either case; std::size(kCounterModels) when
// none. Usable where a constant is needed.
constexpr size_t ModelIndexOfLetter(std::string_view letter) {
    for (size_t row = 0; row < std::size(kCounterModels); ++row) {
        const std::string_view own = kCounterModels[row].letter;
        if (letter.size() != own.size()) continue;
        bool same = true;
        for (size_t i = 0; i < own.size(); ++i) {
            const char c = letter[i] >= 'a' && letter[i] <= 'z' ? static_cast<char>(letter[i] - 'a' + 'A') : letter[i];
            same = same && c == own[i];
        }
        if (same) return row;
    }
    return std::size(kCounterModels);
}

// The model of a letter, in either case; nullptr when none.
constexpr const CounterModelInfo* ModelOfLetter(std::string_view letter) {
    const size_t row = ModelIndexOfLetter(letter);
    return row < std::size(kCounterModels) ? &kCounterModels[row] : nullptr;
}

// The progress total of a full read of a counter that announced this many
// records; 0 when the model's total is not known ahead.
constexpr uint32_t ReadProgressTotal(const CounterModelInfo& model, uint32_t records) {
    if (model.readChunkRecords == 0) return 0;
    const uint64_t chunks = (uint64_t{records} + model.readChunkRecords - 1) / model.readChunkRecords;
    const uint64_t total = model.readFixedSteps + uint64_t{model.readStepsPerChunk} * chunks;
    return total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
}

}  // namespace tallyx
