// tallyx tmg: hourly volume records from the folders that tallyx read and
// tallyread write of simulated counters, compared with records worked out
// from the simulator's own vehicles; the layout's worked example; the check of
// a file of records; and bad input, refused with one line and no file left.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"

namespace tallyx::e2e {
namespace {

namespace fs = std::filesystem;
using tallysim::Model;
using tallysim::SimDateTime;

constexpr unsigned kCom = 9;
constexpr int64_t kHourMs = 3'600'000;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

// The records a study should give, worked out from its vehicles: per day and
// stream, the vehicles of each hour that lies wholly inside the study.
struct StreamSpec {
    char code;
    bool forward, reverse;
};

// `head` is columns 2-11: state, class and station.
std::string ExpectedRecords(const tallysim::Study& study, const std::vector<StreamSpec>& streams,
                            const std::string& head, char lane, char restriction) {
    const int64_t firstHour = FloorDiv(study.begin.ToMillis() + kHourMs - 1, kHourMs);
    const int64_t lastHour = FloorDiv(study.end.ToMillis(), kHourMs) - 1;
    std::map<int64_t, unsigned> counts[2];
    for (const tallysim::Vehicle& v : study.vehicles) ++counts[v.reverse ? 1 : 0][FloorDiv(v.timeMs, kHourMs)];
    std::string text;
    for (const StreamSpec& stream : streams) {
        for (int64_t day = FloorDiv(firstHour, 24); day <= FloorDiv(lastHour, 24); ++day) {
            const SimDateTime date = SimDateTime::FromMillis(day * 24 * kHourMs);
            const auto weekday = std::chrono::weekday(std::chrono::sys_days(std::chrono::days(day)));
            char line[64];
            std::snprintf(line, sizeof line, "3%s%c%c%04d%02d%02d%u", head.c_str(), stream.code, lane, date.year,
                          date.month, date.day, weekday.c_encoding() + 1);
            text += line;
            for (int64_t hour = day * 24; hour < day * 24 + 24; ++hour) {
                if (hour < firstHour || hour > lastHour) {
                    text += "     ";
                    continue;
                }
                const unsigned volume = (stream.forward ? counts[0][hour] : 0) + (stream.reverse ? counts[1][hour] : 0);
                std::snprintf(line, sizeof line, "%05u", volume);
                text += line;
            }
            text += restriction;
            text += "\r\n";
        }
    }
    return text;
}

struct ReadCase {
    const char* name;
    Model model;
    bool tallyread;  // read with tallyread (CSV) instead of tallyx read (XML)
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

class TmgTest : public ::testing::Test, public CounterFixture {
protected:
    Outcome Tallyx(const std::vector<std::string>& args) {
        return RunProgram(std::string(TALLYX_BINARY_DIR) + "/tallyx", args, scratch);
    }

    // Reads the test's counter into a folder, as tallyx read --format xml or tallyread writes it.
    std::string ReadCounter(bool withTallyread) {
        if (!withTallyread) {
            const std::string folder = work.Join("read");
            Outcome read = Tallyx({"read", "--port", "COM9", "--delay-ms", "0", "--format", "xml", "--out", folder});
            EXPECT_EQ(read.status, 0) << read.out << read.err;
            return folder;
        }
        RunTallyreadIn(work, scratch);
        return work.Join("data");
    }

    test::TempDir work;
    test::TempDir scratch;
};

class TmgReadTest : public TmgTest, public ::testing::WithParamInterface<ReadCase> {};

// A study of several days that begins and ends in the middle of an hour.
TEST_P(TmgReadTest, RecordsCountEachWholeHourOfTheStudyPerDirection) {
    tallysim::SimOptions options(GetParam().model);
    std::string error;
    for (const auto& [key, value] : {std::pair{"begin", "2026-11-28 10:30:00"}, std::pair{"end", "2026-12-01 15:20:00"},
                                     std::pair{"vehicles", "400"}, std::pair{"seed", "23"},
                                     std::pair{"period", "240"}})
        ASSERT_TRUE(options.description.Set(key, value, &error)) << error;
    ASSERT_TRUE(StartCounter(options, kCom, &error)) << error;
    const std::string folder = ReadCounter(GetParam().tallyread);
    ASSERT_TRUE(fs::exists(fs::path(folder) / (GetParam().tallyread ? "sequential.csv" : "sequential.xml")));
    const tallysim::Study& study = Counter().GetStudy();

    const struct {
        const char* name;
        std::vector<std::string> args;
        std::vector<StreamSpec> streams;
        std::string head;
        char lane = '0', restriction = '0';
    } kVariants[] = {
        {"one direction", {"--state", "39", "--station", "123", "--class", "3U", "--forward-direction", "1"},
         {{'1', true, false}}, "393U000123"},
        {"both directions",
         {"--state", "17", "--station", "A7", "--class", "1r", "--forward-direction", "3", "--reverse-direction", "7",
          "--lane", "2", "--restriction", "4"},
         {{'3', true, false}, {'7', false, true}}, "171R0000A7", '2', '4'},
        {"combined",
         {"--state", "6", "--station", "ELM012", "--class", "7U", "--forward-direction", "5", "--reverse-direction",
          "1", "--combined"},
         {{'9', true, true}}, "067UELM012"},
    };
    for (const auto& variant : kVariants) {
        SCOPED_TRACE(variant.name);
        std::vector<std::string> args = {"tmg", folder};
        args.insert(args.end(), variant.args.begin(), variant.args.end());
        Outcome run = Tallyx(args);
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(ReadFile(folder + "/volume.tmg"),
                  ExpectedRecords(study, variant.streams, variant.head, variant.lane, variant.restriction));
        // The check accepts what tmg writes.
        Outcome check = Tallyx({"tmg", "--check", folder + "/volume.tmg"});
        EXPECT_EQ(check.status, 0) << check.out;
        EXPECT_NE(check.out.find("records, all valid"), std::string::npos) << check.out;
    }
    // Vehicles in the hours the study covers in part are counted nowhere, and said so.
    EXPECT_NE(Tallyx({"tmg", folder, "--state", "39", "--station", "1", "--class", "3U", "--forward-direction", "1",
                      "--out", "-"})
                  .err.find("vehicles fall in hours the study covers only in part"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Tmg, TmgReadTest,
                         ::testing::Values(ReadCase{"ModelA_TallyxReadXml", Model::A, false},
                                           ReadCase{"ModelB_Tallyread", Model::B, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- folders made by hand

const std::string kExample =
    "3393U000123102026121050000500003000020000200004000110003500080000960007200060000580006100063000700008800102000"
    "950006400041000300002200014000080";

// A folder as tallyx read writes it, with the given vehicle lines after the
// CSV header, or with the given XML vehicle file.
void WriteRead(const std::string& folder, const std::string& begin, const std::string& end,
               const std::string& vehicles) {
    fs::create_directories(folder);
    std::ofstream(folder + "/settings.json") << "{\n  \"port\": \"COM9\",\n  \"study\": {\n    \"begin\": \"" << begin
                                             << "\",\n    \"end\": \"" << end << "\"\n  }\n}\n";
    if (vehicles.rfind("<?xml", 0) == 0) {
        std::ofstream(folder + "/sequential.xml", std::ios::binary) << vehicles;
        return;
    }
    std::ofstream(folder + "/sequential.csv", std::ios::binary)
        << "TimeStamp,Flag,Flag Description,Speed,Length\n" << vehicles;
}

TEST_F(TmgTest, TheLayoutsWorkedExampleComesFromItsVolumes) {
    const unsigned volumes[24] = {5, 3, 2, 2, 4, 11, 35, 80, 96, 72, 60, 58, 61, 63, 70, 88, 102, 95, 64, 41, 30, 22, 14, 8};
    std::string vehicles;
    for (unsigned hour = 0; hour < 24; ++hour) {
        for (unsigned i = 0; i < volumes[hour]; ++i) {
            char line[96];
            std::snprintf(line, sizeof line, "2026-12-10 %02u:%02u:%02u.000,2,FORWARD,41,16\n", hour, i * 59 / 102,
                          i % 60);
            vehicles += line;
        }
        vehicles += "2026-12-10 " + std::string(hour < 10 ? "0" : "") + std::to_string(hour) + ":30:00.000,4,REVERSE,38,15\n";
    }
    WriteRead(work.Join("example"), "2026-12-10 00:00:00.000", "2026-12-11 00:00:00.000", vehicles);
    Outcome run = Tallyx({"tmg", work.Join("example"), "--state", "39", "--station", "123", "--class", "3U",
                      "--forward-direction", "1", "--out", "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kExample + "\r\n");
    EXPECT_NE(run.err.find("24 reverse vehicles are not in the records: no --reverse-direction given"),
              std::string::npos)
        << run.err;
}

TEST_F(TmgTest, CheckNamesTheFieldOfEveryBrokenLine) {
    auto with = [](size_t column, const std::string& text) {
        std::string line = kExample;
        return line.replace(column - 1, text.size(), text);
    };
    const struct {
        std::string line;  // without its line end, unless it has one of its own
        std::string field;
    } kLines[] = {
        {kExample, ""},
        {with(13, "1").replace(22, 5, "     "), ""},  // lane 1, its first hour without data
        {kExample.substr(0, 142), "length"},
        {kExample.substr(0, 22) + kExample.substr(24), "length"},  // the 2001 layout's length
        {with(1, "4"), "record type (column 1)"},
        {with(2, "03"), "state code (columns 2-3)"},
        {with(4, "8U"), "functional classification (columns 4-5)"},
        {with(4, "3u"), "functional classification (columns 4-5)"},
        {with(6, "00 123"), "station ID (columns 6-11)"},
        {with(6, "00\x1b[1m"), "station ID (columns 6-11)"},  // shown escaped, not sent to the terminal
        {with(12, "N"), "direction of travel (column 12)"},
        {with(13, " "), "lane of travel (column 13)"},
        {with(14, "2O26"), "year (columns 14-17)"},
        {with(18, "13"), "month (columns 18-19)"},
        {with(20, "32"), "day of month (columns 20-21)"},
        {with(14, "20270229"), "day of month (columns 20-21)"},  // 2027-02-29 does not exist
        {with(22, "4"), "day of week (column 22)"},
        {with(22, "8"), "day of week (column 22)"},
        {with(33, " 1234"), "hour 3 (columns 33-37)"},
        {with(138, "00a08"), "hour 24 (columns 138-142)"},
        {with(143, "6"), "restrictions (column 143)"},
        {with(12, "5"), ""},
        {with(12, "5"), "record key (columns 1-21)"},  // the same day twice
        {with(13, "2") + "\n", "line end"},  // LF alone
    };
    std::string file;
    for (const auto& row : kLines) file += row.line + (row.line.back() == '\n' ? "" : "\r\n");
    std::ofstream(work.Join("check.tmg"), std::ios::binary) << file;
    Outcome run = Tallyx({"tmg", "--check", work.Join("check.tmg")});
    EXPECT_EQ(run.status, 2);
    size_t broken = 0;
    for (size_t i = 0; i < std::size(kLines); ++i) {
        const std::string prefix = work.Join("check.tmg") + ":" + std::to_string(i + 1) + ": ";
        if (kLines[i].field.empty()) {
            EXPECT_EQ(run.out.find(prefix), std::string::npos) << "line " << i + 1 << "\n" << run.out;
        } else {
            ++broken;
            EXPECT_NE(run.out.find(prefix + kLines[i].field + ": "), std::string::npos)
                << "line " << i + 1 << ": " << kLines[i].field << "\n" << run.out;
        }
    }
    EXPECT_NE(run.out.find(std::to_string(broken) + " of " + std::to_string(std::size(kLines)) + " lines break"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(":17: day of week (column 22): '4', but 2026-12-10 is a Thursday (5)"), std::string::npos);
    EXPECT_NE(run.out.find("'00\\x1B[1m' holds something other than letters and digits"), std::string::npos);
}

// ---- bad input: one line, status 2, nothing written

const std::string kVehicle = "2026-12-10 08:15:00.000,2,FORWARD,41,16\n";

struct BadInput {
    const char* name;
    std::string vehicles;  // sequential.csv after its header; "-" for an empty folder, "" for no folder
    std::map<std::string, std::string> options;  // over the good station options; "" drops one, @ is the folder
    std::vector<std::string> extra;
    std::string message;
};

void PrintTo(const BadInput& c, std::ostream* out) { *out << c.name; }

const BadInput kBadInputs[] = {
    {"UnknownFolder", "", {}, {}, "/read: no such folder"},
    {"NotARead", "-", {}, {}, "is not the folder of a read: it has neither settings.json"},
    {"CutOffCsv", kVehicle + "2026-12-10 08:16:00.000,2,FORW", {}, {}, "sequential.csv is cut off"},
    {"BadTimeStamp", kVehicle + "2026-13-10 08:16:00.000,2,FORWARD,41,16\n", {}, {},
     "sequential.csv:3: '2026-13-10 08:16:00.000' is not a time stamp"},
    {"HourOverFiveDigits",
     [] {
         std::string vehicles;
         for (int i = 0; i < 100000; ++i) vehicles += kVehicle;
         return vehicles;
     }(),
     {}, {}, "the hour from 2026-12-10 08:00 has 100000 vehicles in direction 1, more than the 99999"},
    {"XmlCutOff",
     "<?xml version=\"1.0\"?>\n<SequentialRecords>\n<Sequential><TimeStamp>2026-12-10 08:15:00.000</TimeStamp>"
     "<Flag>2</Flag><Flag Description>FORWARD</Flag Description><Speed>41</Speed><Length>16</Length></Sequential>\n",
     {}, {}, "sequential.xml is cut off: the SequentialRecords root is not closed"},
    {"MissingField", "2026-12-10 08:16:00.000,2,FORWARD,41\n", {}, {}, "sequential.csv:2: expected 5 fields"},
    {"NullTimeStamps", kVehicle + "0-00-00 00:00:00.000,4,REVERSE,0,0\n0-00-00 00:00:00.000,2,FORWARD,0,0\n", {}, {},
     "2 of 3 vehicles have no time stamp"},
    {"UnknownState", kVehicle, {{"--state", "03"}}, {}, "--state '03': the state's two-digit FIPS code"},
    {"ClassOutOfRange", kVehicle, {{"--class", "8U"}}, {}, "--class '8U'"},
    {"StationWithBlank", kVehicle, {{"--station", "12 4"}}, {}, "--station '12 4': 1 to 6 letters or digits"},
    {"LongStation", kVehicle, {{"--station", "1234567"}}, {}, "--station '1234567'"},
    {"NoStation", kVehicle, {{"--station", ""}}, {}, "--station is needed"},
    {"LaneOutOfRange", kVehicle, {{"--lane", "12"}}, {}, "--lane '12'"},
    {"RestrictionOutOfRange", kVehicle, {{"--restriction", "6"}}, {}, "--restriction '6'"},
    {"DirectionOutOfRange", kVehicle, {{"--forward-direction", "9"}}, {}, "--forward-direction '9'"},
    {"NoDirection", kVehicle, {{"--forward-direction", ""}}, {}, "--forward-direction or --reverse-direction is needed"},
    {"CombinedNotOpposite", kVehicle, {{"--reverse-direction", "3"}}, {"--combined"},
     "--combined: 1 (north) and 3 (east) are not opposite directions"},
    {"CombinedWithoutCode", kVehicle, {{"--forward-direction", "2"}, {"--reverse-direction", "6"}}, {"--combined"},
     "have no combined code"},
    {"OutIsTheReadsOwnFile", kVehicle, {{"--out", "@/sequential.csv"}}, {}, "is the read's own sequential.csv"},
    {"FolderAndCheck", kVehicle, {}, {"--check", "x.tmg"}, "not both"},
};

class TmgBadInputTest : public TmgTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(TmgBadInputTest, IsRefusedWithOneLineAndLeavesNoFile) {
    const BadInput& c = GetParam();
    const std::string folder = work.Join("read");
    if (c.vehicles == "-") fs::create_directory(folder);
    else if (!c.vehicles.empty()) WriteRead(folder, "2026-12-10 00:00:00.000", "2026-12-11 00:00:00.000", c.vehicles);
    std::map<std::string, std::string> options = {
        {"--state", "39"}, {"--station", "123"}, {"--class", "3U"}, {"--forward-direction", "1"}};
    for (const auto& [option, value] : c.options) options[option] = value[0] == '@' ? folder + value.substr(1) : value;
    std::vector<std::string> args = {"tmg", folder};
    for (const auto& [option, value] : options) {
        if (!value.empty()) args.insert(args.end(), {option, value});
    }
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    Outcome run = Tallyx(args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
    if (fs::exists(folder + "/sequential.csv")) {
        EXPECT_EQ(ReadFile(folder + "/sequential.csv"), "TimeStamp,Flag,Flag Description,Speed,Length\n" + c.vehicles);
    }
    if (fs::is_directory(folder)) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "settings.json" || name.rfind("sequential.", 0) == 0) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Tmg, TmgBadInputTest, ::testing::ValuesIn(kBadInputs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TmgTest, HelpExplainsTheCodes) {
    Outcome run = Tallyx({"tmg", "--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* text : {"--forward-direction", "1 N, 2 NE, 3 E", "9 (north and south", "5 weather (pattern affected)",
                             "R rural or U urban", "Exit status:"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace tallyx::e2e
