// The download buffer keeps every block through its reallocations and
// refuses to grow past its limit.
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "drivers/record_buffer.h"

namespace {

using tallyx::RecordBuffer;

TEST(RecordBuffer, GrowsFrom100PagesByDoublingAndKeepsItsData) {
    RecordBuffer buffer;
    for (uint32_t page = 0; page < 250; ++page) {
        ASSERT_TRUE(buffer.Reserve(260));
        ASSERT_GT(buffer.Capacity() - buffer.Length(), 260u);
        std::memset(buffer.End(), static_cast<int>(page), 260);
        buffer.Commit(252);  // the next page overwrites the rest
        if (page == 0) {
            EXPECT_EQ(buffer.Capacity(), 26000u);
        }
    }
    EXPECT_EQ(buffer.Capacity(), 26000u * 4);
    ASSERT_EQ(buffer.Length(), 250u * 252);
    for (uint32_t page = 0; page < 250; ++page)
        for (uint32_t i = 0; i < 252; ++i) ASSERT_EQ(buffer.Data()[page * 252 + i], static_cast<uint8_t>(page));
    buffer.Free();
    EXPECT_EQ(buffer.Data(), nullptr);
    EXPECT_EQ(buffer.Length(), 0u);
}

TEST(RecordBuffer, RefusesToGrowPastItsLimitAndKeepsWhatItHas) {
    RecordBuffer buffer(26000);
    uint32_t pages = 0;
    while (buffer.Reserve(260)) {
        buffer.End()[0] = static_cast<uint8_t>(pages);
        buffer.Commit(260);
        ++pages;
    }
    EXPECT_EQ(pages, 99u);  // the 100th would leave no more than a page free
    EXPECT_EQ(buffer.Capacity(), 26000u);
    EXPECT_EQ(buffer.Data()[98 * 260], 98);
}

TEST(RecordBuffer, TheFirstCapacityIsAHundredBlocksUpToTheCeiling) {
    RecordBuffer buffer;
    ASSERT_TRUE(buffer.Reserve(400 * 8));  // a chunk of 400 records
    EXPECT_EQ(buffer.Capacity(), RecordBuffer::kFirstCapacityCeiling);
}

}  // namespace
