#pragma once
// The growing buffer a model A data area is downloaded into, page by page.
#include <cstdint>
#include <memory>

namespace tallyx {

class ZK110PageBuffer {
public:
    // The buffer never takes more than limit bytes.
    explicit ZK110PageBuffer(uint64_t limit = UINT32_MAX) : limit_(limit) {}

    // The first allocation holds 100 pages; every later one doubles.
    static constexpr uint32_t kInitialCapacity = 26000;
    static constexpr uint32_t kInitialCapacityLimit = 102400;

    // Makes room for one more page: when at most a page's worth of bytes is
    // free the capacity grows (26000 bytes the first time, then twice the
    // old capacity). False when the memory cannot be had; the data collected
    // so far then stay as they are.
    bool Reserve(uint32_t pageSize);

    uint8_t* End() { return data_.get() + length_; }
    // Counts bytes written at End() as data.
    void Commit(uint32_t count) { length_ += count; }

    const uint8_t* Data() const { return data_.get(); }
    uint32_t Length() const { return length_; }
    uint32_t Capacity() const { return capacity_; }
    void Free();

private:
    std::unique_ptr<uint8_t[]> data_;
    uint32_t length_ = 0;
    uint32_t capacity_ = 0;
    uint64_t limit_;
};

}  // namespace tallyx
