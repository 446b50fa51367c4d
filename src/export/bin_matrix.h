#pragma once
// Vehicles of one period counted by speed class and length class. The classes
// are set by two lists of limits; a value falls into the class whose index is
// the position of the first limit greater than it (the number of limits when
// none is), so there is one class more than limits. The cells exist only when
// both lists hold a limit; without them every cell reads as 0.
#include <cstdint>
#include <memory>
#include <vector>

namespace tallyx {

class BinMatrix {
public:
    // Replaces the limits with those of the two bin-list texts and makes a
    // fresh matrix of zeros when both lists are non-empty. Returns false only
    // when the memory for the lists or the cells cannot be had; the matrix
    // then does not exist.
    bool Load(const char* speedBins, const char* lengthBins);
    // Drops the limits and the cells.
    void Free();

    bool HasLimits() const { return !speedLimits_.empty() && !lengthLimits_.empty(); }
    bool Exists() const { return cells_ != nullptr; }

    uint32_t SpeedLimitCount() const { return static_cast<uint32_t>(speedLimits_.size()); }
    uint32_t LengthLimitCount() const { return static_cast<uint32_t>(lengthLimits_.size()); }
    // Classes: one more than the limits, also when there are none.
    uint32_t Rows() const { return SpeedLimitCount() + 1; }
    uint32_t Columns() const { return LengthLimitCount() + 1; }

    // Sets every cell to 0.
    void Reset();
    // Counts one vehicle; does nothing without a matrix.
    void Add(uint32_t speed, uint32_t length);
    // The cell's count; 0 outside the matrix or without one.
    uint32_t Cell(uint32_t row, uint32_t column) const;

    static uint32_t ClassOf(const std::vector<uint32_t>& limits, uint32_t value);

private:
    std::vector<uint32_t> speedLimits_;
    std::vector<uint32_t> lengthLimits_;
    std::unique_ptr<uint32_t[]> cells_;
};

}  // namespace tallyx
