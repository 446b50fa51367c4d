#include "drivers/record_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tallyx {

bool RecordBuffer::Reserve(uint32_t blockSize) {
    if (capacity_ - length_ > blockSize) return true;
    uint64_t grown = capacity_ == 0 ? std::min<uint64_t>(uint64_t{blockSize} * 100, kFirstCapacityCeiling)
                                    : uint64_t{capacity_} * 2;
    // Never smaller than what one more block needs, never beyond 32 bits.
    grown = std::max<uint64_t>(grown, uint64_t{length_} + blockSize + 1);
    if (grown > limit_ || grown > UINT32_MAX) return false;
    std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[grown]);
    if (!bigger) return false;
    if (length_ != 0) std::memcpy(bigger.get(), data_.get(), length_);
    data_ = std::move(bigger);
    capacity_ = static_cast<uint32_t>(grown);
    return true;
}

void RecordBuffer::Free() {
    data_.reset();
    length_ = 0;
    capacity_ = 0;
}

}  // namespace tallyx
