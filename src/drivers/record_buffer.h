#pragma once
// The growing buffer a download collects the counter's data in, one block
// (a model A page, a model B chunk of records) at a time.
#include <cstdint>
#include <memory>

namespace tallyx {

class RecordBuffer {
public:
    // The buffer never takes more than limit bytes.
    explicit RecordBuffer(uint64_t limit = UINT32_MAX) : limit_(limit) {}

    // The first allocation holds 100 blocks, but no more than this.
    static constexpr uint32_t kFirstCapacityCeiling = 102400;

    // Makes room for one more block: when at most a block's worth of bytes is
    // free the capacity grows (100 blocks the first time, at most the
    // ceiling, then twice the old capacity). False when the memory cannot be
    // had; the data collected so far then stay as they are.
    bool Reserve(uint32_t blockSize);

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
