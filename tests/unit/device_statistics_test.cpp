// The statistics document: its exact text, its size limits and Reset.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <tallyx/tallyx.h>

#include "api/statistics_document.h"

namespace {

using tallyx::DeviceStatistics;

const char kFreshDocument[] =
    "<Staticstics><BytesSent>0</BytesSent><BytesReceived>0</BytesReceived><PagesRead>0</PagesRead>"
    "<CommRetries>0</CommRetries><RecordsModified>0</RecordsModified><RecordsDiscarded>0</RecordsDiscarded>"
    "</Staticstics>";

std::string Build(const DeviceStatistics& statistics, uint32_t capacity, int32_t& result) {
    std::vector<char> buffer(capacity + 16, '#');
    result = tallyx::BuildStatisticsDocument(statistics, buffer.data(), capacity);
    for (size_t i = capacity; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '#') << "written past the capacity";
    return std::string(buffer.data(), strnlen(buffer.data(), capacity));
}

DeviceStatistics Busy() {
    DeviceStatistics s;
    s.bytesSent = 1234;
    s.bytesReceived = 4294967295u;
    s.pagesRead = 7;
    s.commRetries = 2;
    s.recordsModified = 10;
    s.recordsDiscarded = 0;
    return s;
}

TEST(DeviceStatisticsDocument, FreshCountersGiveSixZeros) {
    int32_t result = 0;
    EXPECT_EQ(Build(DeviceStatistics{}, tallyx::kStatisticsDocumentCapacity, result), kFreshDocument);
    EXPECT_EQ(result, RETCODE_OK);
}

TEST(DeviceStatisticsDocument, CountersAppearInTheirOrder) {
    int32_t result = 0;
    EXPECT_EQ(Build(Busy(), tallyx::kStatisticsDocumentCapacity, result),
              "<Staticstics><BytesSent>1234</BytesSent><BytesReceived>4294967295</BytesReceived>"
              "<PagesRead>7</PagesRead><CommRetries>2</CommRetries><RecordsModified>10</RecordsModified>"
              "<RecordsDiscarded>0</RecordsDiscarded></Staticstics>");
    EXPECT_EQ(result, RETCODE_OK);
}

TEST(DeviceStatisticsDocument, LargestDocumentIs263Characters) {
    DeviceStatistics s;
    s.bytesSent = s.bytesReceived = s.pagesRead = s.commRetries = s.recordsModified = s.recordsDiscarded =
        4294967295u;
    int32_t result = 0;
    EXPECT_EQ(Build(s, tallyx::kStatisticsDocumentCapacity, result).size(), 263u);
    EXPECT_EQ(result, RETCODE_OK);
}

TEST(DeviceStatisticsDocument, CapacityMustLeaveRoomForTheTerminator) {
    for (const DeviceStatistics& s : {DeviceStatistics{}, Busy()}) {
        int32_t result = 0;
        const std::string full = Build(s, tallyx::kStatisticsDocumentCapacity, result);
        const uint32_t exact = static_cast<uint32_t>(full.size() + 1);
        EXPECT_EQ(Build(s, exact, result), full);
        EXPECT_EQ(result, RETCODE_OK);
        Build(s, exact - 1, result);
        EXPECT_EQ(result, RETCODE_ERR_BUFFERTOOSMALL);
    }
    char one[1] = {'x'};
    DeviceStatistics s;
    EXPECT_EQ(tallyx::BuildStatisticsDocument(s, one, 1), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(tallyx::BuildStatisticsDocument(s, one, 0), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_EQ(tallyx::BuildStatisticsDocument(s, nullptr, 100), RETCODE_ERR_BUFFERTOOSMALL);
}

TEST(DeviceStatisticsDocument, ResetClearsEveryCounter) {
    DeviceStatistics s = Busy();
    s.recordsDiscarded = 3;
    s.Reset();
    int32_t result = 0;
    EXPECT_EQ(Build(s, tallyx::kStatisticsDocumentCapacity, result), kFreshDocument);
}

}  // namespace
