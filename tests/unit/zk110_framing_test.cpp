// Model A frames, clock texts and flash pages, byte for byte.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <tallyx/tallyx.h>

#include "drivers/modela/zk110_driver.h"

namespace {

using tallyx::DateTime;
using tallyx::ZK110ClockText;
using tallyx::ZK110Frame;
using tallyx::ZK110Page;

std::vector<uint8_t> Frame(const char* command) {
    char frame[64];
    uint32_t length = ZK110Frame::BuildCommand(command, frame, sizeof frame);
    return std::vector<uint8_t>(frame, frame + length);
}

TEST(ZK110CommandFrame, CarriesTheSumOfTheCommandInUpperCaseHexWithoutLeadingZeros) {
    EXPECT_EQ(Frame(":R:F"), (std::vector<uint8_t>{0x3A, 0x52, 0x3A, 0x46, 0x7C, 0x43, 0x0D}));
    EXPECT_EQ(Frame(":X"), (std::vector<uint8_t>{0x3A, 0x58, 0x7C, 0x39, 0x32, 0x0D}));

    char check[ZK110Frame::kCheckTextSize];
    ZK110Frame::FormatCheckValue(":S:D", 4, check);
    EXPECT_STREQ(check, "B");
    ZK110Frame::FormatCheckValue(":F:X,8,2", 8, check);
    EXPECT_STREQ(check, "D4");
    ZK110Frame::FormatCheckValue("abc", 3, check);
    EXPECT_STREQ(check, "26");
    ZK110Frame::FormatCheckValue("", 0, check);
    EXPECT_STREQ(check, "0");
}

TEST(ZK110CommandFrame, RefusesAFrameThatDoesNotFit) {
    char frame[8];
    // ":R:F|C\r" is seven bytes and needs an eighth for the zero.
    EXPECT_EQ(ZK110Frame::BuildCommand(":R:F", frame, sizeof frame), 7u);
    EXPECT_EQ(ZK110Frame::BuildCommand(":R:FF", frame, sizeof frame), 0u);
    EXPECT_EQ(ZK110Frame::BuildCommand(nullptr, frame, sizeof frame), 0u);
}

// An answer as the driver sees it: the carriage return already replaced by
// a zero.
ZK110Frame::AnswerCheck Check(std::string& text) { return ZK110Frame::CheckAnswer(text.data()); }

TEST(ZK110AnswerFrame, AcceptsOnlyTheExactCheckText) {
    std::string answer = ":F0|B0";
    ZK110Frame::AnswerCheck check = Check(answer);
    EXPECT_EQ(check.result, RETCODE_OK);
    EXPECT_STREQ(answer.c_str(), ":F0");

    std::string lowerCase = ":F0|b0";
    check = Check(lowerCase);
    EXPECT_EQ(check.result, RETCODE_ERR_CRC);
    EXPECT_STREQ(check.receivedCheck, "b0");
    EXPECT_STREQ(check.computedCheck, "B0");

    // A text whose sum is 0x0C: its check value is C, and 0C is refused.
    std::string twelve = std::string(1, '\x0C') + "|0C";
    EXPECT_EQ(Check(twelve).result, RETCODE_ERR_CRC);
    std::string twelveRight = std::string(1, '\x0C') + "|C";
    EXPECT_EQ(Check(twelveRight).result, RETCODE_OK);
}

TEST(ZK110AnswerFrame, CutsAtTheFirstBarAndNeedsOne) {
    // Everything after the first bar is the check text, so a second bar spoils it.
    std::string twoBars = ":F0|B0|B0";
    ZK110Frame::AnswerCheck check = Check(twoBars);
    EXPECT_EQ(check.result, RETCODE_ERR_CRC);
    EXPECT_STREQ(check.receivedCheck, "B0|B0");

    std::string noBar = ":F0B0";
    EXPECT_EQ(Check(noBar).result, RETCODE_ERR_READNOCRC);
    std::string empty;
    EXPECT_EQ(Check(empty).result, RETCODE_ERR_READNOCRC);
    std::string onlyBar = "|0";
    EXPECT_EQ(Check(onlyBar).result, RETCODE_OK);
}

TEST(ZK110ClockText, WritesTwoDigitsPerField) {
    char text[ZK110ClockText::kSize];
    ZK110ClockText::Format(DateTime(2009, 3, 7, 14, 5, 9, 42), text);
    EXPECT_STREQ(text, "090307140509");
    ZK110ClockText::Format(DateTime(2031, 12, 31, 23, 59, 59, 999), text);
    EXPECT_STREQ(text, "311231235959");
}

// CRC-16/MODBUS bit by bit, independent of the library's table version.
uint16_t ReferenceCrc(const uint8_t* data, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

std::vector<uint8_t> DataPage(uint8_t seed) {
    std::vector<uint8_t> page(tallyx::kZK110PageSize);
    for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 31 + seed);
    uint16_t crc = ReferenceCrc(page.data(), 255);
    page[256] = static_cast<uint8_t>(crc & 0xFF);  // low byte first
    page[257] = static_cast<uint8_t>(crc >> 8);
    return page;
}

TEST(ZK110Page, ChecksTheCrcOfBytes0To254StoredLowByteFirst) {
    std::vector<uint8_t> page = DataPage(5);
    ZK110Page::CrcCheck check = ZK110Page::CheckCrc(page.data());
    EXPECT_TRUE(check.ok);
    EXPECT_EQ(check.received, page[256] * 256 + page[257]);
    EXPECT_EQ(check.computed, check.received);

    // Byte 255 and the bytes after the CRC are not covered.
    page[255] ^= 0x5A;
    page[258] ^= 0x5A;
    page[259] ^= 0x5A;
    EXPECT_TRUE(ZK110Page::CheckCrc(page.data()).ok);

    page[254] ^= 0x01;
    check = ZK110Page::CheckCrc(page.data());
    EXPECT_FALSE(check.ok);
    EXPECT_NE(check.computed, check.received);

    // The two CRC bytes swapped do not pass.
    std::vector<uint8_t> swapped = DataPage(9);
    std::swap(swapped[256], swapped[257]);
    EXPECT_FALSE(ZK110Page::CheckCrc(swapped.data()).ok);
}

TEST(ZK110Page, IsEmptyWhenItsRecordDataAreAllFF) {
    std::vector<uint8_t> page(tallyx::kZK110PageSize, 0xFF);
    EXPECT_TRUE(ZK110Page::IsEmpty(page.data()));
    page[252] = 0;  // beyond the record data
    page[256] = 0x12;
    EXPECT_TRUE(ZK110Page::IsEmpty(page.data()));
    page[251] = 0xFE;
    EXPECT_FALSE(ZK110Page::IsEmpty(page.data()));
}

}  // namespace
