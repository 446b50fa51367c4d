// A read whose records cannot be given memory fails with an error instead of
// crashing. The record arrays are allocated with nothrow array new; this test
// program replaces that operator so that it can be made to fail on request.
#include <cstddef>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "values_test_driver.h"

namespace {
thread_local bool failNothrowArrays = false;
}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (failNothrowArrays) return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace tallyx::testing {
namespace {

struct FailingArrays {
    FailingArrays() { failNothrowArrays = true; }
    ~FailingArrays() { failNothrowArrays = false; }
};

TEST(ZK110AllocationTest, RecordsWithoutMemoryFailTheRead) {
    ValuesTestDriver driver;
    driver.Set(PROPERTY_STUDY_BEGINDATETIME, "2009-03-01 09:00:00.000");
    driver.Set(PROPERTY_STUDY_ENDDATETIME, "2009-03-02 09:00:00.000");
    driver.Set(PROPERTY_STUDY_PERIODTIME, "15");
    std::vector<uint8_t> vehicles;
    AppendBytes(vehicles, RawRecord(0, 10, 0, 0, 2, 40, 15));
    const std::vector<uint8_t> page = PeriodicPage(15, 20, 0);
    {
        FailingArrays failing;
        EXPECT_EQ(tallyx::kOutOfMemory,
                  driver.Values().DecodeSequential(vehicles.data(), static_cast<uint32_t>(vehicles.size())));
        EXPECT_EQ(tallyx::kOutOfMemory,
                  driver.Values().DecodePeriodic(page.data(), static_cast<uint32_t>(page.size())));
    }
    EXPECT_EQ(0u, driver.Values().SequentialCount());
    EXPECT_EQ(0u, driver.Values().PeriodicCount());

    // The walks see no data and the values object is still usable.
    char line[256];
    EXPECT_EQ(2, driver.FirstValue("GETVALUE_DATA_SEQUENTIAL", "GETVALUE_FORMAT_XML", line, sizeof line));
    EXPECT_EQ(2, driver.FirstValue("GETVALUE_DATA_PERIODIC", "GETVALUE_FORMAT_XML", line, sizeof line));
    EXPECT_EQ(0, driver.Values().DecodeSequential(vehicles.data(), static_cast<uint32_t>(vehicles.size())));
    EXPECT_EQ(1u, driver.Values().SequentialCount());
}

TEST(ZK110AllocationTest, BinMatrixWithoutMemoryReportsZeros) {
    ValuesTestDriver driver;
    driver.Set(PROPERTY_STUDY_BEGINDATETIME, "2009-03-01 09:00:00.000");
    driver.Set(PROPERTY_STUDY_ENDDATETIME, "2009-03-02 09:00:00.000");
    driver.Set(PROPERTY_STUDY_PERIODTIME, "15");
    driver.Set(PROPERTY_STUDY_SPEEDBINS, "30");
    driver.Set(PROPERTY_STUDY_LENGTHBINS, "20");
    std::vector<uint8_t> vehicles;
    AppendBytes(vehicles, RawRecord(0, 9, 10, 0, 2, 40, 15));
    const std::vector<uint8_t> page = PeriodicPage(15, 20, 0);
    ASSERT_EQ(0, driver.Values().DecodeSequential(vehicles.data(), static_cast<uint32_t>(vehicles.size())));
    ASSERT_EQ(0, driver.Values().DecodePeriodic(page.data(), static_cast<uint32_t>(page.size())));
    char line[256];
    {
        FailingArrays failing;
        ASSERT_EQ(0, driver.FirstValue("GETVALUE_DATA_PERIODIC", "GETVALUE_FORMAT_CSV", line, sizeof line));
    }
    ASSERT_EQ(0, driver.NextValue(line, sizeof line));
    EXPECT_STREQ("2009-03-01 09:15:00.000,68,0,1,0,0,0,0,0", line);
}

}  // namespace
}  // namespace tallyx::testing
