#include "drivers/modela/zk110_page_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tallyx {

bool ZK110PageBuffer::Reserve(uint32_t pageSize) {
    if (capacity_ - length_ > pageSize) return true;
    uint64_t grown = capacity_ == 0 ? std::min(kInitialCapacity, kInitialCapacityLimit) : uint64_t{capacity_} * 2;
    // Never smaller than what one more page needs, never beyond 32 bits.
    grown = std::max<uint64_t>(grown, uint64_t{length_} + pageSize + 1);
    if (grown > limit_ || grown > UINT32_MAX) return false;
    std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[grown]);
    if (!bigger) return false;
    if (length_ != 0) std::memcpy(bigger.get(), data_.get(), length_);
    data_ = std::move(bigger);
    capacity_ = static_cast<uint32_t>(grown);
    return true;
}

void ZK110PageBuffer::Free() {
    data_.reset();
    length_ = 0;
    capacity_ = 0;
}

}  // namespace tallyx
