#include "export/bin_matrix.h"

#include <algorithm>
#include <new>

#include "properties/bin_list.h"

namespace tallyx {

bool BinMatrix::Load(const char* speedBins, const char* lengthBins) {
    Free();
    try {
        ParseBinList(speedBins, speedLimits_);
        ParseBinList(lengthBins, lengthLimits_);
    } catch (const std::bad_alloc&) {
        Free();
        return false;
    }
    if (!HasLimits()) return true;
    // A bin-list text holds at most a few hundred limits, so the product stays small.
    const size_t cellCount = static_cast<size_t>(Rows()) * Columns();
    cells_.reset(new (std::nothrow) uint32_t[cellCount]);
    if (!cells_) return false;
    Reset();
    return true;
}

void BinMatrix::Free() {
    speedLimits_.clear();
    lengthLimits_.clear();
    cells_.reset();
}

void BinMatrix::Reset() {
    if (cells_) std::fill_n(cells_.get(), static_cast<size_t>(Rows()) * Columns(), 0u);
}

uint32_t BinMatrix::ClassOf(const std::vector<uint32_t>& limits, uint32_t value) {
    uint32_t index = 0;
    while (index < limits.size() && limits[index] <= value) ++index;
    return index;
}

void BinMatrix::Add(uint32_t speed, uint32_t length) {
    if (!cells_) return;
    const uint32_t row = ClassOf(speedLimits_, speed);
    const uint32_t column = ClassOf(lengthLimits_, length);
    ++cells_[static_cast<size_t>(row) * Columns() + column];
}

uint32_t BinMatrix::Cell(uint32_t row, uint32_t column) const {
    if (!cells_ || row >= Rows() || column >= Columns()) return 0;
    return cells_[static_cast<size_t>(row) * Columns() + column];
}

}  // namespace tallyx
