// The simulator's model A wire format: text frames with their check values, and flash pages
// with their CRC.
#include <gtest/gtest.h>

#include <string>

#include "checksums.h"
#include "model_a_flash.h"
#include "model_a_frame.h"
#include "traffic_generator.h"

namespace {

using namespace tallysim;

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

TEST(SimModelAFrame, MatchesTheDocumentedCommandBytes) {
    EXPECT_EQ(FrameModelA(":R:F"), Bytes({0x3A, 0x52, 0x3A, 0x46, 0x7C, 0x43, 0x0D}));
    EXPECT_EQ(FrameModelA(":X"), Bytes({0x3A, 0x58, 0x7C, 0x39, 0x32, 0x0D}));
    EXPECT_EQ(FrameModelA(":S:D"), ":S:D|B\r");
    EXPECT_EQ(FrameModelA(":F:X,8,2"), ":F:X,8,2|D4\r");
    EXPECT_EQ(Sum8Text("abc"), "26");
    EXPECT_EQ(Sum8Text(""), "0");
}

TEST(SimModelAFrame, ChecksReceivedFramesStrictly) {
    auto ok = ParseModelAFrame(":F0|B0");
    EXPECT_TRUE(ok.valid);
    EXPECT_EQ(ok.text, ":F0");
    EXPECT_FALSE(ParseModelAFrame(":F0|b0").valid);     // lower case
    EXPECT_FALSE(ParseModelAFrame(":R:F|0C").valid);    // leading zero
    EXPECT_FALSE(ParseModelAFrame(":R:F").valid);       // no check value
    // The check value follows the last bar, so a text may hold one.
    const std::string text = ":S:X:3 A|B";
    auto withBar = ParseModelAFrame(text + "|" + Sum8Text(text));
    EXPECT_TRUE(withBar.valid);
    EXPECT_EQ(withBar.text, text);
}

TEST(SimModelAFrame, GarbledAnswersFailTheCheckInTheAskedWay) {
    EXPECT_EQ(GarbledModelAFrame(":F0", "lower"), ":F0|b0\r");
    EXPECT_EQ(GarbledModelAFrame(":F0", "zero"), ":F0|0B0\r");
    EXPECT_EQ(GarbledModelAFrame(":F0", "missing"), ":F0\r");
    // "92" has no letter to lower: another value is sent instead.
    for (const char* form : {"wrong", "lower", ""}) {
        const std::string frame = GarbledModelAFrame(":X", form);
        ASSERT_EQ(frame.back(), '\r');
        EXPECT_FALSE(ParseModelAFrame(frame.substr(0, frame.size() - 1)).valid) << form;
    }
}

TEST(SimCrc, IsCrc16Modbus) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc16Modbus(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x4B37);
    EXPECT_EQ(Crc16Modbus(nullptr, 0), 0xFFFF);
}

Study SmallStudy(size_t vehicles) {
    Description d = Description::Defaults(Model::A);
    d.traffic.vehicles = vehicles;
    d.traffic.seed = 3;
    return GenerateStudy(d);
}

TEST(SimModelAFlash, PagesCarryTheCrcOfTheirFirst255BytesLowByteFirst) {
    const Study study = SmallStudy(100);
    ModelAFlash flash;
    flash.Load(study);
    const FlashPage page = flash.Page(2, 8);
    const uint16_t crc = Crc16Modbus(page.data(), 255);
    EXPECT_EQ(page[256], crc & 0xFF);
    EXPECT_EQ(page[257], crc >> 8);
    // Byte 255 lies outside the check and differs between pages.
    FlashPage other = flash.Page(2, 9);
    EXPECT_NE(page[255], other[255]);
    EXPECT_EQ(Crc16Modbus(other.data(), 255), other[256] | (other[257] << 8));
}

TEST(SimModelAFlash, SequentialRecordsFillChipTwoThenChipThree) {
    const Study study = SmallStudy(100);
    ModelAFlash flash;
    flash.Load(study);
    ASSERT_EQ(flash.SequentialRecords(), 100u);
    const FlashPage first = flash.Page(2, 8);
    const auto record0 = EncodeModelARecord(study.vehicles[0], study.dateEncoding);
    EXPECT_TRUE(std::equal(record0.begin(), record0.end(), first.begin()));
    const FlashPage second = flash.Page(2, 9);
    const auto record42 = EncodeModelARecord(study.vehicles[42], study.dateEncoding);
    EXPECT_TRUE(std::equal(record42.begin(), record42.end(), second.begin()));
    // The third page holds 16 records; the rest of it is erased flash.
    const FlashPage third = flash.Page(2, 10);
    EXPECT_EQ(third[16 * 6 - 1], EncodeModelARecord(study.vehicles[99], false)[5]);
    for (size_t i = 16 * 6; i < 252; ++i) ASSERT_EQ(third[i], 0xFF) << i;
    // After the data: empty pages, 0xFF throughout; below page 8 too.
    for (auto [chip, number] : {std::pair{2u, 11u}, {3u, 8u}, {2u, 0u}, {1u, 7u}}) {
        const FlashPage empty = flash.Page(chip, number);
        for (uint8_t b : empty) ASSERT_EQ(b, 0xFF) << chip << "/" << number;
    }
}

TEST(SimModelAFlash, AFullFlashEndsOnTheLastPageOfChipThree) {
    Study study;
    study.vehicles.resize(kARecordCapacity);
    for (size_t i = 0; i < study.vehicles.size(); ++i) {
        auto& v = study.vehicles[i];
        v.timeMs = SimDateTime{2009, 3, 2, 0, 0, 0, 0}.ToMillis() + static_cast<int64_t>(i) * 200;
        v.flags = kAForward;
        v.speedWhole = static_cast<uint8_t>(30 + i % 20);
        v.lengthWhole = 15;
    }
    ModelAFlash flash;
    flash.Load(study);
    const FlashPage chip3First = flash.Page(3, 8);
    const auto expected = EncodeModelARecord(study.vehicles[size_t{kAPagesPerChip} * kARecordsPerPage], false);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), chip3First.begin()));
    const FlashPage last = flash.Page(3, 4095);
    const auto lastRecord = EncodeModelARecord(study.vehicles.back(), false);
    EXPECT_TRUE(std::equal(lastRecord.begin(), lastRecord.end(), last.begin() + 246));
}

TEST(SimModelAFlash, PeriodicPagesHoldOffsetTemperatureAndOccupancy) {
    Description d = Description::Defaults(Model::A);
    d.traffic.vehicles = 300;
    d.traffic.temperatureC = -20;  // below zero: stored in two's complement
    d.traffic.zeroOffsetEvery = 3;
    const Study study = GenerateStudy(d);
    ASSERT_EQ(study.periods.size(), 96u);  // one day of 15-minute periods
    ModelAFlash flash;
    flash.Load(study);
    for (unsigned i = 0; i < 4; ++i) {
        const FlashPage page = flash.Page(1, 8 + i);
        const PeriodRecord& p = study.periods[i];
        EXPECT_EQ((page[0] << 8) | page[1], p.storedEndOffset);
        EXPECT_EQ(page[4], p.temperatureByte);
        EXPECT_EQ((page[11] << 8) | page[12], p.occupancy);
        EXPECT_EQ(Crc16Modbus(page.data(), 255), page[256] | (page[257] << 8));
    }
    EXPECT_EQ(study.periods[2].storedEndOffset, 0);
    EXPECT_EQ(study.periods[2].endOffsetMinutes, 45);
    EXPECT_EQ(study.periods[0].storedEndOffset, 15);
    EXPECT_GT(study.periods[0].temperatureByte, 127);
    for (uint8_t b : flash.Page(1, 8 + 96)) ASSERT_EQ(b, 0xFF);
}

TEST(SimModelAFlash, EraseLeavesOnlyEmptyPages) {
    const Study study = SmallStudy(50);
    ModelAFlash flash;
    flash.Load(study);
    flash.Erase();
    for (uint8_t b : flash.Page(2, 8)) ASSERT_EQ(b, 0xFF);
    for (uint8_t b : flash.Page(1, 8)) ASSERT_EQ(b, 0xFF);
}

}  // namespace
