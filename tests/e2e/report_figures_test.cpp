// The study report's figures against simulated counters whose traffic is known: every figure
// tallyx report gives is worked out here again, by brute force, from the simulator's own
// vehicles, for both models, US and metric, one direction only, a study shorter than a day, no
// speeds, no posted limit, a read in XML and a folder of tallyread.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "json/json_value.h"
#include "model_b_expected.h"
#include "study/study.h"

namespace tallyx::e2e {
namespace {

namespace fs = std::filesystem;
using tallysim::Model;

constexpr unsigned kCom = 11;
constexpr int64_t kHour = 3600, kQuarter = 900, kDay = 86400;

enum class How { kReportPortXml, kTallyxRead, kTallyread };

struct FigureCase {
    const char* name;
    Model model;
    std::vector<std::pair<std::string, std::string>> keys;
    How how;
    bool metric;
    std::optional<int64_t> limitMph;
};

void PrintTo(const FigureCase& c, std::ostream* out) { *out << c.name; }

// One vehicle in the units and the whole seconds of the report.
struct Seen {
    int64_t time;  // seconds since 1970-01-01 of the counter's clock
    bool reverse;
    int64_t speed, length;
    bool unclassified;
};

int64_t HalfUp(double value) { return static_cast<int64_t>(std::floor(value + 0.5)); }

// Miles per hour in km/h as the library shows them, with its preference for round values.
int64_t Kmh(int64_t mph) {
    const int64_t k = HalfUp(static_cast<double>(mph) * 1.6093439549754007);
    auto back = [mph](int64_t candidate) { return HalfUp(static_cast<double>(candidate) * 0.6213712096214294) == mph; };
    if (k % 10 == 1 || k % 10 == 6) return back(k - 1) ? k - 1 : back(k + 1) ? k + 1 : k;
    if (k % 10 == 4 || k % 10 == 9) return back(k + 1) ? k + 1 : back(k - 1) ? k - 1 : k;
    return k;
}

int64_t Decimetres(int64_t feet) { return HalfUp(static_cast<double>(feet) * 3.0479999767456056); }

bool HasToken(const std::string& text, const std::string& token) {
    return ("+" + text + "+").find("+" + token + "+") != std::string::npos;
}

std::vector<Seen> SimulatedVehicles(const tallysim::Study& study, Model model, bool metric) {
    const bool modelB = model == Model::B;
    std::vector<Seen> seen;
    for (const Vehicle& v : modelB ? ExpectedVehiclesB(study) : ExpectedVehicles(study)) {
        const std::string flags = modelB ? FlagDescriptionB(v.flags) : FlagDescription(v.flags);
        Seen s{v.timeMs / 1000, HasToken(flags, "REVERSE"), v.speed, v.length, HasToken(flags, "UNCLASSIFIED")};
        if (metric) {
            s.speed = Kmh(s.speed);
            s.length = Decimetres(s.length);
        }
        seen.push_back(s);
    }
    return seen;
}

std::string Minute(int64_t seconds) {
    return tallysim::SimDateTime::FromMillis(seconds * 1000).Text().substr(0, 16);
}

int64_t Seconds(const std::string& text) {
    const std::optional<tallysim::SimDateTime> time = tallysim::SimDateTime::Parse(text);
    EXPECT_TRUE(time.has_value()) << text;
    return time ? time->ToMillis() / 1000 : 0;
}

// A member of the report, null when missing.
const json::Value& At(const json::Value& value, std::initializer_list<const char*> path) {
    static const json::Value kNull;
    const json::Value* at = &value;
    for (const char* name : path) {
        at = at->IsObject() ? at->Find(name) : nullptr;
        if (at == nullptr) return kNull;
    }
    return *at;
}
double Number(const json::Value& figure) { return At(figure, {"value"}).AsNumber(); }
int64_t Count(const json::Value& figure) { return At(figure, {"value"}).AsInteger(); }

struct SpeedStudy {
    int64_t withSpeed = 0, p15 = 0, median = 0, p85 = 0, highest = 0, paceFrom = 0, inPace = 0;
    double mean = 0;
    std::vector<int64_t> over;
    bool operator==(const SpeedStudy&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SpeedStudy& s) {
    out << s.withSpeed << " mean " << s.mean << " p " << s.p15 << "/" << s.median << "/" << s.p85 << " top "
        << s.highest << " pace " << s.paceFrom << ":" << s.inPace << " over";
    for (int64_t n : s.over) out << " " << n;
    return out;
}

SpeedStudy ExpectedSpeedStudy(std::vector<int64_t> speeds, std::optional<int64_t> limit) {
    SpeedStudy s;
    s.withSpeed = static_cast<int64_t>(speeds.size());
    if (speeds.empty()) return s;
    std::sort(speeds.begin(), speeds.end());
    const auto n = static_cast<int64_t>(speeds.size());
    auto rank = [&speeds, n](int64_t p) { return speeds[static_cast<size_t>((n * p + 99) / 100 - 1)]; };
    int64_t sum = 0;
    for (int64_t speed : speeds) sum += speed;
    s.mean = std::round(100.0 * static_cast<double>(sum) / static_cast<double>(speeds.size())) / 100.0;
    s.p15 = rank(15);
    s.median = rank(50);
    s.p85 = rank(85);
    s.highest = speeds.back();
    s.inPace = -1;
    for (int64_t low = speeds.front(); low <= speeds.back(); ++low) {
        const int64_t in = std::count_if(speeds.begin(), speeds.end(), [low](int64_t v) { return low <= v && v <= low + 9; });
        if (in > s.inPace) {
            s.inPace = in;
            s.paceFrom = low;
        }
    }
    if (limit) {
        for (int64_t extra : {0, 5, 10, 15})
            s.over.push_back(std::count_if(speeds.begin(), speeds.end(), [&](int64_t v) { return v > *limit + extra; }));
    }
    return s;
}

SpeedStudy FoundSpeedStudy(const json::Value& study) {
    SpeedStudy s;
    s.withSpeed = Count(At(study, {"with_speed"}));
    if (s.withSpeed == 0) return s;
    s.mean = Number(At(study, {"mean"}));
    s.p15 = Count(At(study, {"p15"}));
    s.median = Count(At(study, {"median"}));
    s.p85 = Count(At(study, {"p85"}));
    s.highest = Count(At(study, {"highest"}));
    s.paceFrom = Count(At(study, {"pace", "from"}));
    s.inPace = Count(At(study, {"pace", "vehicles"}));
    for (const json::Value& over : At(study, {"over_limit"}).Items()) s.over.push_back(Count(At(over, {"vehicles"})));
    return s;
}

// The busiest hour-long window of a kind of a day, starting on multiples of step, by counting vehicles.
std::string ExpectedPeak(const std::vector<int64_t>& times, int64_t day, int64_t begin, int64_t end, const std::string& kind,
                         int64_t step) {
    int64_t low = std::max(day, begin), high = std::min(day + kDay, end);
    const int64_t noon = day + 12 * kHour;
    if (kind == "am") high = std::min(high, noon);
    if (kind == "pm") low = std::max(low, noon);
    int64_t start = day;
    while (start < low) start += step;
    std::optional<std::pair<int64_t, int64_t>> best;
    for (; start + kHour <= high; start += step) {
        const int64_t volume = std::count_if(times.begin(), times.end(), [start](int64_t t) { return start <= t && t < start + kHour; });
        if (!best || volume > best->second) best = {start, volume};
    }
    if (!best) return "none";
    int64_t busiest = 0;
    for (int k = 0; k < 4; ++k) {
        const int64_t from = best->first + k * kQuarter;
        busiest = std::max<int64_t>(busiest, std::count_if(times.begin(), times.end(), [from](int64_t t) { return from <= t && t < from + kQuarter; }));
    }
    return Minute(best->first) + " " + std::to_string(best->second) + " vehicles, busiest quarter " + std::to_string(busiest);
}

class ReportFiguresTest : public ::testing::TestWithParam<FigureCase>, public CounterFixture {
protected:
    // Reads the counter the way the case says and returns the report's document.
    json::Value Report(const FigureCase& c) {
        const std::string tallyx = std::string(TALLYX_BINARY_DIR) + "/tallyx";
        const std::string folder = work.Join("read");
        std::vector<std::string> read = {"--port", "COM11", "--delay-ms", "0", "--quiet", "--out", folder};
        if (c.metric) read.push_back("--metric");
        if (c.how == How::kReportPortXml) {
            read.insert(read.begin(), {"report", "--format", "xml"});
            const Outcome run = RunProgram(tallyx, read, scratch);
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_TRUE(fs::exists(folder + "/sequential.xml"));
            return Load(folder + "/report.json");
        }
        std::string readFolder = folder;
        if (c.how == How::kTallyxRead) {
            read.insert(read.begin(), "read");
            const Outcome run = RunProgram(tallyx, read, scratch);
            EXPECT_EQ(run.status, 0) << run.err;
        } else {
            RunTallyreadIn(work, scratch);
            readFolder = work.Path();  // the program's folder: the report finds data/ in it
        }
        const Outcome run = RunProgram(tallyx, {"report", readFolder, "--out", work.Join("report")}, scratch);
        EXPECT_EQ(run.status, 0) << run.err;
        return Load(work.Join("report/report.json"));
    }

    json::Value Load(const std::string& path) {
        json::Value document;
        std::string error;
        EXPECT_TRUE(json::Parse(ReadFile(path), document, error)) << path << ": " << error;
        EXPECT_TRUE(fs::exists(fs::path(path).replace_filename("report.html"))) << path;
        return document;
    }

    test::TempDir work;
    test::TempDir scratch;
};

TEST_P(ReportFiguresTest, EveryFigureIsThatOfTheSimulatedTraffic) {
    const FigureCase& c = GetParam();
    tallysim::SimOptions options(c.model);
    std::string error;
    for (const auto& [key, value] : c.keys) ASSERT_TRUE(options.description.Set(key, value, &error)) << error;
    ASSERT_TRUE(StartCounter(options, kCom, &error)) << error;
    const json::Value found = Report(c);
    ASSERT_TRUE(found.IsObject());
    const tallysim::Study& study = Counter().GetStudy();
    const std::vector<Seen> vehicles = SimulatedVehicles(study, c.model, c.metric);
    const std::optional<int64_t> limit = c.limitMph ? std::optional(c.metric ? Kmh(*c.limitMph) : *c.limitMph) : std::nullopt;
    const std::string unit = c.metric ? "km/h" : "mph";

    EXPECT_EQ(At(found, {"schema"}).AsInteger(), 1);
    EXPECT_EQ(At(found, {"units", "speed"}).AsString(), unit);
    EXPECT_EQ(At(found, {"speed", "posted_limit"}).IsNull(), !limit);
    if (limit) {
        EXPECT_EQ(Count(At(found, {"speed", "posted_limit"})), *limit);
    }

    const int64_t begin = study.begin.ToMillis() / 1000, end = study.end.ToMillis() / 1000;
    std::set<int64_t> wholeDays;
    for (int64_t day = begin / kDay * kDay; day + kDay <= end; day += kDay) {
        if (day >= begin) wholeDays.insert(day);
    }
    std::vector<int64_t> limits;
    for (int64_t n : study::NumbersIn(options.description.study.lengthBins)) limits.push_back(c.metric ? Decimetres(n) : n);

    for (const char* direction : {"forward", "reverse", "both"}) {
        SCOPED_TRACE(direction);
        const std::string d = direction;
        std::vector<Seen> chosen;
        for (const Seen& v : vehicles) {
            if (d == "both" || v.reverse == (d == "reverse")) chosen.push_back(v);
        }
        EXPECT_EQ(Count(At(found, {"vehicles", direction})), static_cast<int64_t>(chosen.size()));
        std::vector<int64_t> speeds;
        for (const Seen& v : chosen) {
            if (v.speed > 0) speeds.push_back(v.speed);
        }
        const SpeedStudy expected = ExpectedSpeedStudy(speeds, limit);
        SpeedStudy got = FoundSpeedStudy(At(found, {"speed", direction}));
        EXPECT_NEAR(got.mean, expected.mean, 0.0051);
        got.mean = expected.mean;
        EXPECT_EQ(got, expected);

        std::map<std::string, int64_t> hours, gotHours;
        for (const Seen& v : chosen) ++hours[Minute(v.time / kHour * kHour).substr(0, 13) + ":00"];
        for (const json::Value& row : At(found, {"volume", "hours", "rows"}).Items()) {
            if (At(row, {direction}).AsInteger() != 0) gotHours[At(row, {"hour"}).AsString()] = At(row, {direction}).AsInteger();
        }
        EXPECT_EQ(gotHours, hours);
        for (const json::Value& row : At(found, {"volume", "days", "rows"}).Items()) {
            const int64_t day = Seconds(At(row, {"day"}).AsString() + " 00:00:00");
            EXPECT_EQ(At(row, {direction}).AsInteger(),
                      std::count_if(chosen.begin(), chosen.end(), [day](const Seen& v) { return v.time / kDay * kDay == day; }));
            EXPECT_EQ(At(row, {"whole"}).AsBool(), wholeDays.count(day) == 1);
        }
        const json::Value& adt = At(found, {"volume", "average_daily_traffic"});
        if (wholeDays.empty()) {
            EXPECT_TRUE(adt.IsNull());
        } else {
            EXPECT_EQ(At(adt, {"whole_days"}).AsInteger(), static_cast<int64_t>(wholeDays.size()));
            const auto inWhole = std::count_if(chosen.begin(), chosen.end(),
                                               [&](const Seen& v) { return wholeDays.count(v.time / kDay * kDay) == 1; });
            EXPECT_NEAR(Number(At(adt, {direction})), static_cast<double>(inWhole) / static_cast<double>(wholeDays.size()), 0.051);
        }

        std::vector<int64_t> gaps;
        for (bool reverse : {false, true}) {
            if (d != "both" && reverse != (d == "reverse")) continue;
            std::vector<int64_t> times;
            for (const Seen& v : vehicles) {
                if (v.reverse == reverse) times.push_back(v.time);
            }
            std::sort(times.begin(), times.end());
            for (size_t i = 1; i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
        }
        const int64_t lows[] = {0, 1, 2, 3, 5, 10, INT64_MAX};
        std::vector<int64_t> bands, gotBands;
        for (size_t b = 0; b < 6; ++b)
            bands.push_back(std::count_if(gaps.begin(), gaps.end(), [&](int64_t g) { return lows[b] <= g && g < lows[b + 1]; }));
        for (const json::Value& band : At(found, {"headways", "bands"}).Items()) gotBands.push_back(At(band, {direction}).AsInteger());
        EXPECT_EQ(gotBands, bands);

        std::vector<int64_t> classes, gotClasses;
        std::vector<int64_t> edges = {0};
        edges.insert(edges.end(), limits.begin(), limits.end());
        edges.push_back(INT64_MAX);
        for (size_t k = 0; k + 1 < edges.size(); ++k) {
            classes.push_back(std::count_if(chosen.begin(), chosen.end(), [&](const Seen& v) {
                return v.length > 0 && !v.unclassified && edges[k] <= v.length && v.length < edges[k + 1];
            }));
        }
        for (const json::Value& row : At(found, {"length_classes", "rows"}).Items()) gotClasses.push_back(At(row, {direction}).AsInteger());
        EXPECT_EQ(gotClasses, classes);
    }

    // Peak hours of every day with vehicles (and of the first day), both directions together.
    std::set<int64_t> days = {begin / kDay * kDay};
    std::vector<int64_t> times;
    for (const Seen& v : vehicles) {
        days.insert(v.time / kDay * kDay);
        times.push_back(v.time);
    }
    const json::Value& peaks = At(found, {"volume", "peak_hours"});
    EXPECT_EQ(peaks.Items().size(), days.size());
    for (const json::Value& entry : peaks.Items()) {
        const int64_t day = Seconds(At(entry, {"day"}).AsString() + " 00:00:00");
        for (const char* kind : {"am", "pm", "whole_day"}) {
            for (const auto& [key, step] : {std::pair{"clock_hour", kHour}, std::pair{"busiest_60_minutes", kQuarter}}) {
                const json::Value& peak = At(entry, {kind, key});
                std::string got = "none";
                if (!peak.IsNull()) {
                    got = At(peak, {"from"}).AsString() + " " + std::to_string(Count(At(peak, {"volume"}))) +
                          " vehicles, busiest quarter " + std::to_string(Count(At(peak, {"busiest_15_minutes"})));
                    const double factor = static_cast<double>(Count(At(peak, {"volume"}))) /
                                          (4.0 * static_cast<double>(Count(At(peak, {"busiest_15_minutes"}))));
                    EXPECT_NEAR(Number(At(peak, {"peak_hour_factor"})), factor, 0.0051);
                }
                EXPECT_EQ(got, ExpectedPeak(times, day, begin, end, kind, step)) << At(entry, {"day"}).AsString() << " " << kind << " " << key;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Report, ReportFiguresTest,
    ::testing::Values(
        FigureCase{"ModelB_TwoWholeDays_Us_ReadAsXmlByReportPort", Model::B,
                   {{"vehicles", "900"}, {"seed", "21"}, {"begin", "2026-11-02 00:00"}, {"end", "2026-11-04 00:00"},
                    {"period", "15"}, {"speedlimit", "35"}, {"speedbins", "20 30 40 50"}, {"lengthbins", "20 40"}},
                   How::kReportPortXml, false, 35},
        FigureCase{"ModelA_Metric_OneDirection_ShorterThanADay", Model::A,
                   {{"vehicles", "300"}, {"seed", "5"}, {"begin", "2026-11-02 06:10"}, {"end", "2026-11-02 18:00"},
                    {"period", "15"}, {"reverse", "0"}, {"speedlimit", "40"}, {"speedbins", "30 40 50"},
                    {"lengthbins", "20 40"}},
                   How::kTallyxRead, true, 40},
        FigureCase{"ModelB_Metric_NoSpeeds_NoLimit_AcrossMidnight", Model::B,
                   {{"vehicles", "150"}, {"seed", "8"}, {"begin", "2026-11-02 20:00"}, {"end", "2026-11-03 20:00"},
                    {"period", "60"}, {"stopped", "1"}, {"speedlimit", "0"}, {"speedbins", "30 40"}, {"lengthbins", "25"}},
                   How::kTallyxRead, true, std::nullopt},
        FigureCase{"ModelA_Tallyread_26Hours", Model::A,
                   {{"vehicles", "400"}, {"seed", "11"}, {"begin", "2026-11-02 00:00"}, {"end", "2026-11-03 02:00"},
                    {"period", "15"}, {"speedlimit", "30"}, {"speedbins", "20 30 40"}, {"lengthbins", "20 40 60"}},
                   How::kTallyread, false, 30}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tallyx::e2e

namespace tallyx::e2e {
namespace {

// Input that is not a read: one line, status 2, and no report file left anywhere.
TEST(ReportBadInputTest, IsRefusedWithOneLineAndNoFile) {
    const std::string header = "TimeStamp,Flag,Flag Description,Speed,Length\n";
    const std::string vehicle = "2026-11-02 06:16:44.000,1,FORWARD,35,16\n";
    const struct {
        const char* name;
        std::map<std::string, std::string> files;  // an empty map: no folder at all
        const char* message;
    } kCases[] = {
        {"NoFolder", {}, ": no such folder"},
        {"NotARead", {{"notes.txt", "hello\n"}}, "is not the folder of a read"},
        {"SettingsNotJson", {{"settings.json", "{\"study\": "}, {"sequential.csv", header}}, "is not the settings of a read"},
        {"CutOff", {{"study.txt", ""}, {"sequential.csv", header + vehicle + "2026-11-02 06:17:01.000,1,FORW"}},
         "sequential.csv is cut off in the middle of a line"},
        {"NotARecord", {{"study.txt", ""}, {"sequential.csv", header + vehicle + "2026-11-02 x,1,,3,4\n"}},
         "sequential.csv:3: '2026-11-02 x' is not a time stamp"},
        {"SpeedOutOfRange", {{"study.txt", ""}, {"sequential.csv", header + "2026-11-02 06:16:44.000,1,FORWARD,70000,16\n"}},
         "sequential.csv:2: '70000' is not a speed"},
        {"XmlNotClosed", {{"settings.json", "{\"study\": {}}"}, {"sequential.xml", "<?xml version=\"1.0\"?>\n<SequentialRecords>\n"}},
         "the SequentialRecords root is not closed"},
        {"PeriodOfTheWrongWidth", {{"study.txt", ""}, {"sequential.csv", header}, {"periodic.csv",
          "TimeStamp,Temperature,Occupancy,Count,ReverseCount,Bin_1_1,Bin_1_2\n2026-11-02 00:15:00.000,44,0,0,0,0\n"}},
         "periodic.csv:2: expected 7 fields"},
        {"PeriodHeaderRunTogether", {{"study.txt", ""}, {"sequential.csv", header}, {"periodic.csv",
          "TimeStamp,Temperature,Occupancy,Count,ReverseCountXBin_1_1,Bin_1_2\n"}},
         "it is not the period file of a read"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        test::TempDir work, scratch;
        const std::string folder = work.Join("in");
        if (!c.files.empty()) fs::create_directories(folder);
        for (const auto& [name, text] : c.files) std::ofstream(folder + "/" + name, std::ios::binary) << text;
        const Outcome run = RunProgram(std::string(TALLYX_BINARY_DIR) + "/tallyx", {"report", folder, "--out", work.Join("out")}, scratch);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(fs::exists(work.Join("out"))) << "a report folder was made";
        EXPECT_FALSE(fs::exists(folder + "/report.json"));
    }
}

}  // namespace
}  // namespace tallyx::e2e
