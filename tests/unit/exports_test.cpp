// The handle check and the return codes of the exports that need no counter.
#include <cstdint>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include <tallyx/tallyx.h>

namespace {

struct FakeContext {
    uint32_t marker;
    char rest[256];
};

void ExpectAllRejected(TallyxHandle handle) {
    char buffer[64];
    EXPECT_EQ(Term(handle), RETCODE_ERR_INVALIDHANDLE);
    EXPECT_EQ(ReadDevice(handle), RETCODE_ERR_INVALIDHANDLE);
    EXPECT_EQ(WriteDevice(handle), RETCODE_ERR_INVALIDHANDLE);
    EXPECT_EQ(SetProgressCallback(handle, nullptr), RETCODE_ERR_INVALIDHANDLE);
    EXPECT_EQ(SetPromptCallback(handle, nullptr), RETCODE_ERR_INVALIDHANDLE);
    EXPECT_EQ(GetProperty(handle, PROPERTY_COMM_PORT, buffer, sizeof buffer), RETCODE_ERR_INVALIDHANDLE);
    EXPECT_EQ(SetProperty(handle, PROPERTY_COMM_PORT, "2"), RETCODE_ERR_INVALIDHANDLE);
    EXPECT_EQ(GetFirstValue(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, buffer, sizeof buffer),
              RETCODE_ERR_INVALIDHANDLE);
    EXPECT_EQ(GetNextValue(handle, buffer, sizeof buffer), RETCODE_ERR_INVALIDHANDLE);
}

TEST(HandleCheck, NullHandleIsRejectedEverywhere) { ExpectAllRejected(nullptr); }

TEST(HandleCheck, ForeignMemoryIsRejectedEvenWithTheMarker) {
    FakeContext fake{};
    fake.marker = 1100;  // looks alive, but the library never made it
    ExpectAllRejected(reinterpret_cast<TallyxHandle>(&fake));
    fake.marker = 7;
    ExpectAllRejected(reinterpret_cast<TallyxHandle>(&fake));
}

TEST(HandleCheck, FreedHandleIsRejected) {
    TallyxHandle handle = Init();
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(Term(handle), RETCODE_OK);
    ExpectAllRejected(handle);
}

TEST(HandleCheck, ContextsAreIndependent) {
    TallyxHandle first = Init();
    TallyxHandle second = Init();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(Term(first), RETCODE_OK);
    EXPECT_EQ(SetProgressCallback(second, nullptr), RETCODE_OK);
    EXPECT_EQ(Term(second), RETCODE_OK);
}

TEST(ValueIteration, FreshContextHasNoValues) {
    TallyxHandle handle = Init();
    char buffer[64];
    EXPECT_EQ(GetFirstValue(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, buffer, sizeof buffer),
              RETCODE_NOMOREVALUES);
    EXPECT_EQ(GetFirstValue(handle, "NONSENSE", "NONSENSE", buffer, 0), RETCODE_NOMOREVALUES);
    EXPECT_EQ(GetNextValue(handle, buffer, sizeof buffer), RETCODE_NOMOREVALUES);
    Term(handle);
}

TEST(PropertyAccess, ZeroSizeBufferComesBeforeTheNameCheck) {
    TallyxHandle handle = Init();
    char buffer[16];
    EXPECT_EQ(GetProperty(handle, "NO_SUCH_PROPERTY", buffer, 0), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_EQ(GetProperty(handle, "NO_SUCH_PROPERTY", buffer, sizeof buffer), RETCODE_ERR_INVALIDPROPERTY);
    Term(handle);
}

int g_disconnectPrompts = 0;
int32_t CountDisconnects(TallyxHandle, int32_t reason) {
    if (reason == PROMPT_REASON_DISCONNECT) ++g_disconnectPrompts;
    return 0;
}

TEST(Lifecycle, TermPromptsForDisconnectOnce) {
    TallyxHandle handle = Init();
    g_disconnectPrompts = 0;
    ASSERT_EQ(SetPromptCallback(handle, CountDisconnects), RETCODE_OK);
    EXPECT_EQ(Term(handle), RETCODE_OK);
    EXPECT_EQ(g_disconnectPrompts, 1);
}

}  // namespace

namespace {

TEST(StatisticsProperty, FreshContextShowsSixZeros) {
    TallyxHandle handle = Init();
    char buffer[512];
    ASSERT_EQ(GetProperty(handle, PROPERTY_DEV_STATISTICS, buffer, sizeof buffer), RETCODE_OK);
    EXPECT_STREQ(buffer,
                 "<Staticstics><BytesSent>0</BytesSent><BytesReceived>0</BytesReceived><PagesRead>0</PagesRead>"
                 "<CommRetries>0</CommRetries><RecordsModified>0</RecordsModified>"
                 "<RecordsDiscarded>0</RecordsDiscarded></Staticstics>");
    // The document needs its full length plus the terminating zero.
    uint32_t length = static_cast<uint32_t>(std::strlen(buffer));
    EXPECT_EQ(GetProperty(handle, PROPERTY_DEV_STATISTICS, buffer, length), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_EQ(GetProperty(handle, PROPERTY_DEV_STATISTICS, buffer, length + 1), RETCODE_OK);
    // Names are case-sensitive in the store, and the caller may not write it.
    EXPECT_EQ(GetProperty(handle, "property_dev_statistics", buffer, sizeof buffer), RETCODE_ERR_INVALIDPROPERTY);
    EXPECT_EQ(SetProperty(handle, PROPERTY_DEV_STATISTICS, "x"), RETCODE_ERR_READONLYPROPERTY);
    Term(handle);
}

}  // namespace
