// Eight contexts on eight threads, each reading (and in a second round
// programming, then reading back) its own simulated counter at the same time:
// each gets exactly its counter's data, and each log folder holds only its own
// context's lines.
#include <atomic>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"

namespace tallyx::e2e {
namespace {

using tallysim::SimOptions;

constexpr unsigned kCounters = 8;

std::string Tomorrow(int days) { return StudyDay(days) + " 00:00:00.000"; }

TEST(ManyCountersTest, EightContextsOnEightThreadsEachGetTheirOwnCounter) {
    test::TempDir ports;
    test::ScopedEnv portDir("TALLYX_PORT_DIR", ports.Path().c_str());
    std::vector<std::unique_ptr<tallysim::Simulator>> counters;
    std::vector<std::unique_ptr<test::TempDir>> logs;
    for (unsigned i = 0; i < kCounters; ++i) {
        SimOptions options(E2eModels()[i % E2eModels().size()].model);
        options.portDir = ports.Path();
        options.comNumber = 11 + i;
        std::string error;
        options.description.Set("serial", "UNIT-" + std::to_string(i), &error);
        options.description.Set("vehicles", std::to_string(100 + 10 * i), &error);
        options.description.Set("seed", std::to_string(i + 1), &error);
        counters.push_back(std::make_unique<tallysim::Simulator>(options));
        ASSERT_TRUE(counters.back()->Start(&error)) << error;
        logs.push_back(std::make_unique<test::TempDir>());
    }

    std::vector<std::string> failures(kCounters);
    auto run = [&](unsigned i, bool program) {
        TallyxHandle handle = Init();
        const std::string port = std::to_string(11 + i);
        SetProperty(handle, PROPERTY_COMM_PORT, port.c_str());
        SetProperty(handle, PROPERTY_COMM_WAITBETWEENREQSMS, "0");
        SetProperty(handle, PROPERTY_COMM_RECVTOUTMS, "3000");
        SetProperty(handle, PROPERTY_COMM_LOGFOLDER, logs[i]->Path().c_str());
        SetProperty(handle, PROPERTY_COMM_LOGLEVEL, "COMMANDS");
        std::string& failure = failures[i];
        if (program) {
            SetProperty(handle, PROPERTY_STUDY_BEGINDATETIME, Tomorrow(1).c_str());
            SetProperty(handle, PROPERTY_STUDY_ENDDATETIME, Tomorrow(2).c_str());
            SetProperty(handle, PROPERTY_STUDY_PERIODTIME, "15");
            SetProperty(handle, PROPERTY_STUDY_SPEEDBINS, ("20 30 " + std::to_string(40 + i)).c_str());
            SetProperty(handle, PROPERTY_STUDY_LENGTHBINS, "20");
            SetProperty(handle, PROPERTY_STUDY_CITY, ("City " + std::to_string(i)).c_str());
            if (const int32_t rc = WriteDevice(handle); rc != RETCODE_OK) failure = "write " + std::to_string(rc);
        }
        if (failure.empty()) {
            if (const int32_t rc = ReadDevice(handle); rc != RETCODE_OK) failure = "read " + std::to_string(rc);
        }
        if (failure.empty()) {
            char text[1024];
            GetProperty(handle, PROPERTY_DEV_SERIALNO, text, sizeof text);
            if (text != "UNIT-" + std::to_string(i)) failure = std::string("serial ") + text;
            if (program) {
                GetProperty(handle, PROPERTY_STUDY_SPEEDBINS, text, sizeof text);
                if (text != "20 30 " + std::to_string(40 + i)) failure = std::string("bins ") + text;
            } else {
                const tallysim::Simulator& counter = *counters[i];
                if (Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV) !=
                    E2eModelOf(counter.GetModel()).expectedCsv(counter.GetStudy())) {
                    failure = "vehicles differ";
                }
            }
        }
        Term(handle);
    };

    for (bool program : {false, true}) {
        std::vector<std::thread> threads;
        for (unsigned i = 0; i < kCounters; ++i) threads.emplace_back(run, i, program);
        for (std::thread& thread : threads) thread.join();
        for (unsigned i = 0; i < kCounters; ++i) {
            EXPECT_EQ(failures[i], "") << "counter " << i << (program ? " programmed" : "");
        }
        for (auto& counter : counters) counter->WaitForClosedSessions(counter->Sessions(), std::chrono::seconds(20));
    }
    // Each log holds its own port's lines and no other's.
    for (unsigned i = 0; i < kCounters; ++i) {
        const std::string log = ReadFile(TodaysLog(logs[i]->Path(), ""));
        EXPECT_NE(log.find("Opening RS232 port COM" + std::to_string(11 + i)), std::string::npos) << i;
        for (unsigned j = 0; j < kCounters; ++j) {
            if (j == i) continue;
            EXPECT_EQ(log.find("COM" + std::to_string(11 + j)), std::string::npos) << i << " has " << j;
        }
    }
    for (auto& counter : counters) counter->Stop();
}

}  // namespace
}  // namespace tallyx::e2e
