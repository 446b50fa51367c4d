// The simulator's content: the compact description, the traffic generator and the way records
// are stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "model_a_flash.h"
#include "model_b_counter.h"
#include "traffic_generator.h"

namespace {

using namespace tallysim;

Description Make(Model model, uint64_t vehicles, uint64_t seed = 1) {
    Description d = Description::Defaults(model);
    d.traffic.vehicles = vehicles;
    d.traffic.seed = seed;
    return d;
}

TEST(SimDescription, ReadsKeyValueLinesWithComments) {
    Description d = Description::Defaults(Model::A);
    std::string error;
    ASSERT_TRUE(d.Parse("# a week\n"
                        "begin = 2009-03-02 06:00\n"
                        "End: 2009-03-09 06:00:00\n"
                        "\n"
                        "period=30\n"
                        "street = Elm St #4\n"
                        "trucks = 20%\n"
                        "vehicles = full\n"
                        "fcode = 0x2C\n"
                        "date_encoding = yes\n",
                        &error))
        << error;
    EXPECT_EQ(d.study.begin, (SimDateTime{2009, 3, 2, 6, 0, 0, 0}));
    EXPECT_EQ(d.study.end, (SimDateTime{2009, 3, 9, 6, 0, 0, 0}));
    EXPECT_EQ(d.study.periodMinutes, 30u);
    EXPECT_EQ(d.study.street, "Elm St #4");
    EXPECT_DOUBLE_EQ(d.traffic.truckShare, 0.2);
    EXPECT_EQ(d.traffic.vehicles, TrafficDescription::kFullFlash);
    EXPECT_EQ(d.study.finishCode, 0x2Cu);
    EXPECT_TRUE(d.study.dateEncoding);
}

TEST(SimDescription, RejectsUnknownKeysAndBadValuesWithTheLine) {
    Description d = Description::Defaults(Model::B);
    std::string error;
    EXPECT_FALSE(d.Parse("period = 15\ncolour = red\n", &error));
    EXPECT_NE(error.find("line 2"), std::string::npos);
    for (auto [key, value] : {std::pair{"period", "0"}, {"begin", "2009-02-30 00:00"}, {"trucks", "1.5"},
                              {"vehicles", "many"}, {"discharge", "maybe"}, {"studytype", "TWO WORDS"}}) {
        EXPECT_FALSE(d.Set(key, value, &error)) << key;
    }
    EXPECT_FALSE(d.Parse("no separator here\n", &error));
}

TEST(SimRecordEncoding, ModelAStoresTimeOfDayFlagsSpeedAndLength) {
    Vehicle v;
    v.timeMs = SimDateTime{2009, 3, 4, 14, 5, 30, 250}.ToMillis();
    v.flags = kAForward;
    v.speedWhole = 48;
    v.lengthWhole = 18;
    const auto withDay = EncodeModelARecord(v, true);
    EXPECT_EQ(std::vector<uint8_t>(withDay.begin(), withDay.end()),
              (std::vector<uint8_t>{0x2E, 0x05, 0x1E, 0x02, 0x30, 0x12}));
    const auto withoutDay = EncodeModelARecord(v, false);
    EXPECT_EQ(withoutDay[0], 0x0E);
    EXPECT_EQ(withoutDay[1], 0x05);
    v.raw = {0xFF, 0xFF, 0x10, 0xFF, 0x20, 0x20};
    v.rawSize = 6;
    EXPECT_EQ(EncodeModelARecord(v, true)[3], 0xFF);
}

TEST(SimRecordEncoding, ModelBStoresOffsetAndSplitMeasurements) {
    const int64_t begin = SimDateTime{2009, 3, 2, 8, 0, 0, 0}.ToMillis();
    Vehicle v;
    v.timeMs = begin + 300'900;  // the milliseconds are dropped
    v.flags = 3;
    v.speedWhole = 45;
    v.speedFraction = 7;
    v.lengthWhole = 18;
    v.lengthFraction = 5;
    const auto r = EncodeModelBRecord(v, begin);
    EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.end()),
              (std::vector<uint8_t>{0x03, 0x00, 0x01, 0x2C, 0x2D, 0x07, 0x12, 0x05}));
    v.timeMs = begin + int64_t{0x123456} * 1000;
    const auto far = EncodeModelBRecord(v, begin);
    EXPECT_EQ(far[1], 0x12);
    EXPECT_EQ(far[2], 0x34);
    EXPECT_EQ(far[3], 0x56);
}

TEST(SimTraffic, IsDeterministicFromTheSeed) {
    const Study a = GenerateStudy(Make(Model::A, 500, 7));
    const Study b = GenerateStudy(Make(Model::A, 500, 7));
    const Study c = GenerateStudy(Make(Model::A, 500, 8));
    ASSERT_EQ(a.vehicles.size(), 500u);
    ASSERT_EQ(b.vehicles.size(), 500u);
    bool allSame = true;
    bool anyDifferent = false;
    for (size_t i = 0; i < 500; ++i) {
        allSame = allSame && a.vehicles[i].timeMs == b.vehicles[i].timeMs && a.vehicles[i].flags == b.vehicles[i].flags &&
                  a.vehicles[i].speedWhole == b.vehicles[i].speedWhole &&
                  a.vehicles[i].lengthWhole == b.vehicles[i].lengthWhole;
        anyDifferent = anyDifferent || a.vehicles[i].timeMs != c.vehicles[i].timeMs;
    }
    EXPECT_TRUE(allSame);
    EXPECT_TRUE(anyDifferent);
    ASSERT_EQ(a.periods.size(), b.periods.size());
    for (size_t i = 0; i < a.periods.size(); ++i) EXPECT_EQ(a.periods[i].temperatureC, b.periods[i].temperatureC);
}

TEST(SimTraffic, LooksLikeRoadTraffic) {
    const Study s = GenerateStudy(Make(Model::A, 20000, 3));
    ASSERT_EQ(s.vehicles.size(), 20000u);
    const int64_t begin = s.begin.ToMillis();
    const int64_t end = s.end.ToMillis();
    size_t trucks = 0, reverse = 0, rush = 0, night = 0, stopped = 0, unclassified = 0;
    double speedSum = 0;
    size_t measured = 0;
    for (size_t i = 0; i < s.vehicles.size(); ++i) {
        const Vehicle& v = s.vehicles[i];
        ASSERT_GE(v.timeMs, begin);
        ASSERT_LT(v.timeMs, end);
        if (i > 0) {
            ASSERT_GE(v.timeMs, s.vehicles[i - 1].timeMs);
        }
        ASSERT_EQ(v.reverse, (v.flags & kAReverse) != 0);
        ASSERT_NE((v.flags & kAForward) != 0, v.reverse);
        trucks += v.truck;
        reverse += v.reverse;
        stopped += v.stopped;
        unclassified += v.unclassified;
        const int hour = v.Time().hour;
        rush += hour >= 7 && hour < 9;
        night += hour >= 2 && hour < 4;
        if (v.stopped) {
            EXPECT_EQ(v.flags & kAStopped, kAStopped);
            EXPECT_EQ(v.speedWhole, 0);
        } else {
            speedSum += v.speedMph;
            ++measured;
        }
        if (v.unclassified) {
            EXPECT_EQ(v.lengthWhole, 0);
        } else if (v.truck) {
            EXPECT_GE(v.lengthFt, 21.0);
        }
    }
    EXPECT_NEAR(trucks / 20000.0, 0.12, 0.015);
    EXPECT_NEAR(reverse / 20000.0, 0.45, 0.02);
    EXPECT_GT(rush, 5 * night);
    EXPECT_GT(stopped, 50u);
    EXPECT_GT(unclassified, 120u);
    EXPECT_NEAR(speedSum / measured, 35.0 + 2.0 - 0.12 * 5.0, 0.5);
}

TEST(SimTraffic, MarksInvalidAndOutOfSequenceRecords) {
    Description d = Make(Model::A, 4000, 11);
    d.study.dateEncoding = true;
    d.traffic.invalidShare = 0.05;
    d.traffic.outOfSequenceShare = 0.05;
    const Study s = GenerateStudy(d);
    size_t invalid = 0, late = 0, erased = 0, dayless = 0;
    for (size_t i = 0; i < s.vehicles.size(); ++i) {
        const Vehicle& v = s.vehicles[i];
        const auto raw = EncodeModelARecord(v, true);
        if (v.invalid) {
            ++invalid;
            ASSERT_EQ(v.rawSize, 6);
            if (raw[0] == 0xFF && raw[1] == 0xFF && raw[3] == 0xFF) ++erased;
            else if (raw[0] < 24 && raw[1] < 60) ++dayless;
            else ADD_FAILURE() << "record " << i << " is not invalid";
        } else {
            EXPECT_GT(raw[0] >> 5 | raw[1] >> 6, 0) << "a valid record carries its day";
        }
        if (v.outOfSequence) {
            ++late;
            ASSERT_GT(i, 0u);
            EXPECT_LT(v.timeMs / 1000, s.vehicles[i - 1].timeMs / 1000);
        } else if (i > 0 && !s.vehicles[i - 1].outOfSequence) {
            EXPECT_GE(v.timeMs, s.vehicles[i - 1].timeMs);
        }
    }
    EXPECT_NEAR(invalid / 4000.0, 0.05, 0.015);
    EXPECT_NEAR(late / 4000.0, 0.05, 0.015);
    EXPECT_GT(erased, 0u);
    EXPECT_GT(dayless, 0u);
}

TEST(SimTraffic, ModelBUsesItsOwnFlagsAndFractions) {
    Description d = Make(Model::B, 3000, 5);
    d.traffic.highFlagBitsShare = 0.1;
    d.traffic.fractionHundredthsShare = 0.2;
    const Study s = GenerateStudy(d);
    size_t high = 0, hundredths = 0;
    for (const Vehicle& v : s.vehicles) {
        ASSERT_EQ((v.flags & 0x1F) & (kBForward | kBReverse), v.reverse ? kBReverse : kBForward);
        high += (v.flags & 0xE0) != 0;
        hundredths += v.speedFraction > 9 || v.lengthFraction > 9;
        if (!v.stopped) {
            // The fraction byte counts tenths or hundredths.
            const double tenths = v.speedWhole + v.speedFraction / 10.0;
            const double hundredths = v.speedWhole + v.speedFraction / 100.0;
            EXPECT_LT(std::min(std::abs(tenths - v.speedMph), std::abs(hundredths - v.speedMph)), 0.051);
        }
    }
    EXPECT_NEAR(high / 3000.0, 0.1, 0.02);
    EXPECT_GT(hundredths, 300u);
}

TEST(SimTraffic, PeriodsCountTheValidRecords) {
    Description d = Make(Model::A, 3000, 2);
    d.traffic.invalidShare = 0.03;
    const Study s = GenerateStudy(d);
    ASSERT_EQ(s.periods.size(), 96u);
    uint64_t counted = 0, reverse = 0;
    for (const auto& p : s.periods) {
        counted += p.count;
        reverse += p.reverseCount;
        EXPECT_EQ(p.end.ToMillis() - s.begin.ToMillis(), int64_t{p.endOffsetMinutes} * 60000);
    }
    const auto valid = std::count_if(s.vehicles.begin(), s.vehicles.end(), [](const Vehicle& v) { return !v.invalid; });
    const auto validReverse = std::count_if(s.vehicles.begin(), s.vehicles.end(),
                                            [](const Vehicle& v) { return !v.invalid && v.reverse; });
    EXPECT_EQ(counted, static_cast<uint64_t>(valid));
    EXPECT_EQ(reverse, static_cast<uint64_t>(validReverse));
}

TEST(SimTraffic, SizesFromAHandfulToAFullMemory) {
    EXPECT_EQ(GenerateStudy(Make(Model::A, 3)).vehicles.size(), 3u);
    EXPECT_TRUE(GenerateStudy(Make(Model::A, 0)).vehicles.empty());
    EXPECT_EQ(GenerateStudy(Make(Model::A, TrafficDescription::kFullFlash)).vehicles.size(), kARecordCapacity);
    Description empty = Make(Model::B, 10);
    empty.study.end = empty.study.begin;
    EXPECT_TRUE(GenerateStudy(empty).vehicles.empty());
}

}  // namespace
