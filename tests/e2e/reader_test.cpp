// tallyread against simulated counters: the program is copied with the
// library into a folder of its own, so its log/ and data/ land there, and run
// with TALLYX_PORT_DIR pointing at the test's ports.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "model_a_expected.h"
#include "model_b_expected.h"
#include "support/pseudo_terminal.h"

namespace tallyx::e2e {
namespace {

namespace fs = std::filesystem;
using tallysim::Model;
using tallysim::SimOptions;

std::vector<uint32_t> Numbers(const std::string& text) {
    std::vector<uint32_t> numbers;
    std::stringstream in(text);
    for (uint32_t n; in >> n;) numbers.push_back(n);
    return numbers;
}

std::vector<std::string> ExpectedKvd(const tallysim::Description& description, const Study& study,
                                     const std::vector<Vehicle>& vehicles, FlagDescriber describe);

class ReaderTest : public ::testing::Test, public CounterFixture {
protected:
    void SetUp() override {
        fs::path binary(TALLYX_BINARY_DIR);
        fs::copy_file(binary / "tallyread", program.Join("tallyread"));
        for (const auto& entry : fs::directory_iterator(binary)) {
            std::string name = entry.path().filename().string();
            if (name.rfind("libtallyx.so", 0) == 0) fs::copy(entry.path(), program.Join(name), fs::copy_options::copy_symlinks);
        }
    }

    // Runs tallyread; returns what it printed.
    std::string Run() {
        std::string command = "TALLYX_PORT_DIR='" + ports.Path() + "' '" + program.Join("tallyread") + "' 2>&1";
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return output;
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, n);
        exitCode = pclose(pipe);
        return output;
    }

    std::string ReaderLog() {
        for (const auto& entry : fs::directory_iterator(program.Join("log"))) {
            if (entry.path().filename().string().rfind("tallyread_", 0) == 0) return ReadFile(entry.path().string());
        }
        return "";
    }

    std::string DataFile(const char* name) { return ReadFile(program.Join(std::string("data/") + name)); }

    // The four data files of a read of the day study, line for line.
    void ExpectFourFiles(const std::vector<Vehicle>& vehicles, const std::vector<Period>& periods,
                         FlagDescriber describe) {
        const Study& study = Counter().GetStudy();
        const tallysim::Description& description = Counter().GetDescription();
        const auto& s = description.study;
        EXPECT_EQ(DataFile("study.txt"),
                  "State: " + s.state + "\nCity: " + s.city + "\nCounty: " + s.county + "\nAddress: " + s.street +
                      "\nLane: " + s.direction + "\nSpeed Limit: " + s.speedLimit +
                      "\nOperator: " + s.operatorInitials +
                      "\nStart Time: 2026-11-02 06:00:00.000\nEnd Time: 2026-11-02 12:00:00.000\nRange: 360\n"
                      "Period: 15\nSpeed Bins: 20 30 40 50 60\nLength Bins: 20 40\nFinish Code: 0\n");
        EXPECT_EQ(SplitLines(DataFile("sequential.csv")), ExpectedSequentialCsv(vehicles, describe));
        EXPECT_EQ(SplitLines(DataFile("periodic.csv")), ExpectedPeriodicCsv(periods, 6, 3));

        std::vector<std::string> kvd = SplitLines(DataFile("kvd.dat"));
        std::vector<std::string> expected = ExpectedKvd(description, study, vehicles, describe);
        ASSERT_EQ(kvd.size(), expected.size());
        for (size_t i = 0; i < kvd.size(); ++i) EXPECT_EQ(kvd[i], expected[i]) << "kvd.dat line " << i + 1;
    }

    test::TempDir program;
    int exitCode = -1;
};

TEST_F(ReaderTest, WithoutPortsItSaysSoAndWritesNoFiles) {
    std::string output = Run();
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(output, "\ntallyread v1.0.0.0\nCopyright (C) 2026 the tallyx developers\n\n"
                      "Attempting to read device, please wait...\nDone!\n");
    EXPECT_FALSE(fs::exists(program.Join("data")));
    EXPECT_NE(ReaderLog().find("] [I] [Enumerating serial ports...]"), std::string::npos);
}

SimOptions DayStudy(Model model = Model::A) {
    SimOptions options(model);
    std::string error;
    for (auto [key, value] : std::vector<std::pair<const char*, const char*>>{
             {"begin", "2026-11-02 06:00"}, {"end", "2026-11-02 12:00"}, {"period", "15"},
             {"vehicles", "400"}, {"seed", "99"}, {"speedbins", "20 30 40 50 60"}, {"lengthbins", "20 40"},
             {"unclassified", "0.05"}, {"stopped", "0.03"}, {"reverse", "0.4"}}) {
        EXPECT_TRUE(options.description.Set(key, value, &error)) << key << ": " << error;
    }
    return options;
}

// kvd.dat worked out from the simulated vehicles: the header from the study,
// then per period ":V" with minutes, vehicles, reverse vehicles and occupancy,
// and eight ":U" lines of the speed-by-length class counts.
std::vector<std::string> ExpectedKvd(const tallysim::Description& description, const Study& study,
                                     const std::vector<Vehicle>& vehicles, FlagDescriber describe) {
    const auto& s = description.study;
    auto stamp = [](const tallysim::SimDateTime& t) {
        char text[64];
        std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d", t.year - 2000, t.month, t.day, t.hour, t.minute);
        return std::string(text);
    };
    std::vector<std::string> lines = {
        ":X:0" + s.state,  ":X:1" + s.city, ":X:2" + s.county, ":X:3" + s.street, ":X:4" + s.direction,
        ":X:5" + s.speedLimit, ":X:6" + s.operatorInitials, ":X:7" + description.device.serialNumber,
        ":X:8" + description.device.unitType, ":B" + stamp(study.begin), ":E" + stamp(study.end),
        ":P" + std::to_string(study.periodMinutes), ":KE", ":GY", ":S" + s.speedBins, ":L" + s.lengthBins, ":F0"};

    const std::vector<uint32_t> speedBins = Numbers(s.speedBins);
    const std::vector<uint32_t> lengthBins = Numbers(s.lengthBins);
    auto reached = [](const std::vector<uint32_t>& bins, unsigned value) {
        unsigned index = 0;
        while (index < bins.size() && value >= bins[index]) ++index;
        return index;
    };
    const int64_t periodMs = int64_t{study.periodMinutes} * 60000;
    unsigned minutes = 0;
    for (int64_t start = study.begin.ToMillis(); start < study.end.ToMillis(); start += periodMs) {
        minutes += study.periodMinutes;
        unsigned count = 0, reverse = 0;
        double occupancy = 0;
        unsigned classes[15][8] = {};
        for (const Vehicle& v : vehicles) {
            if (v.timeMs < start || v.timeMs >= start + periodMs) continue;
            const std::string description = describe(v.flags);
            if (description.find("UNCLASSIFIED") == std::string::npos) {
                ++classes[std::min(reached(speedBins, v.speed), 14u)][std::min(reached(lengthBins, v.length), 7u)];
            }
            ++count;
            if (description.find("REVERSE") != std::string::npos) ++reverse;
            if (v.speed != 0) occupancy += v.length / (v.speed * 1.4666666666666666);
        }
        const long percent = static_cast<long>(occupancy / (study.periodMinutes * 60.0) * 100.0);
        lines.push_back(":V" + std::to_string(minutes) + " " + std::to_string(count) + " 0 0 3 120 " +
                        std::to_string(reverse) + " " + std::to_string(percent));
        for (unsigned l = 0; l < 8; ++l) {
            std::string line = ":U";
            for (unsigned sc = 0; sc < 15; ++sc) line += (sc == 0 ? "" : " ") + std::to_string(classes[sc][l]);
            lines.push_back(line);
        }
    }
    return lines;
}

TEST_F(ReaderTest, SkipsASilentPortAndReadsTheCounterIntoFourFiles) {
    test::PseudoTerminal silent;
    ASSERT_TRUE(silent.IsOpen());
    ASSERT_FALSE(silent.Publish(ports.Path(), 1).empty());
    test::PseudoTerminal notTried;
    ASSERT_TRUE(notTried.IsOpen());
    ASSERT_FALSE(notTried.Publish(ports.Path(), 5).empty());
    std::string error;
    ASSERT_TRUE(StartCounter(DayStudy(), 3, &error)) << error;

    std::string output = Run();
    EXPECT_EQ(exitCode, 0);
    EXPECT_NE(output.find("Done!\n"), std::string::npos);

    // The log: COM1 fails to wake, a separator, COM3 is read, COM5 never tried.
    std::string log = ReaderLog();
    size_t failed = log.find("[E] [ReadDevice() failed! Error=RETCODE_ERR_FAILEDTOWAKEUP (-34)]");
    size_t separator = log.find("[I] [====================================]", failed);
    size_t com3 = log.find("[I] [PROPERTY_COMM_PORT: 3]", separator);
    size_t unit = log.find("[I] [*** Unit properties ***]", com3);
    ASSERT_NE(failed, std::string::npos) << log;
    EXPECT_NE(separator, std::string::npos);
    EXPECT_NE(com3, std::string::npos);
    EXPECT_NE(unit, std::string::npos);
    EXPECT_EQ(log.find("PROPERTY_COMM_PORT: 5"), std::string::npos);
    EXPECT_NE(log.find("Found serial port COM5"), std::string::npos);

    const std::vector<Vehicle> vehicles = ExpectedVehicles(Counter().GetStudy());
    ExpectFourFiles(vehicles, ExpectedPeriods(Counter().GetStudy(), vehicles, {20, 30, 40, 50, 60}, {20, 40}),
                    FlagDescription);
}

TEST_F(ReaderTest, ReadsAModelBCounterIntoTheSameFourFiles) {
    std::string error;
    ASSERT_TRUE(StartCounter(DayStudy(Model::B), 2, &error)) << error;
    std::string output = Run();
    EXPECT_EQ(exitCode, 0);
    EXPECT_NE(output.find("Done!\n"), std::string::npos);
    EXPECT_NE(ReaderLog().find("[I] [PROPERTY_COMM_PORT: 2]"), std::string::npos);

    // The counter keeps no periods: the library derives them from the vehicles.
    const std::vector<Vehicle> vehicles = ExpectedVehiclesB(Counter().GetStudy());
    ExpectFourFiles(vehicles, ExpectedPeriodsB(Counter().GetStudy(), vehicles, {20, 30, 40, 50, 60}, {20, 40}),
                    FlagDescriptionB);
}

}  // namespace
}  // namespace tallyx::e2e
