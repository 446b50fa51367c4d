// The model A driver against a scripted counter on the master side of a
// pseudo-terminal, which the driver's link opens as COM7.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <tallyx/tallyx.h>

#include "checksums.h"
#include "comm/comm_log.h"
#include "comm/port_link.h"
#include "device/device_statistics.h"
#include "drivers/modela/zk110_driver.h"
#include "drivers/modela/zk110_values.h"
#include "drivers/record_buffer.h"
#include "model_a_frame.h"
#include "properties/property_store.h"
#include "support/pseudo_terminal.h"
#include "support/temp_dir.h"
#include "time/date_time.h"

namespace tallyx {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tallysim::FrameModelA;

// A 260-byte page around record data, with its CRC low byte first at 256 (the
// simulator's CRC-16/MODBUS).
std::string Page(const std::vector<uint8_t>& data, bool goodCrc = true) {
    std::string page(260, '\0');
    for (size_t i = 0; i < data.size() && i < 252; ++i) page[i] = static_cast<char>(data[i]);
    uint16_t crc = tallysim::Crc16Modbus(reinterpret_cast<const uint8_t*>(page.data()), 255);
    if (!goodCrc) crc ^= 0x0101;
    page[256] = static_cast<char>(crc & 0xFF);
    page[257] = static_cast<char>(crc >> 8);
    return page;
}

std::string EmptyPage() {
    std::string page(260, '\xFF');
    page[256] = 0x12;  // whatever the CRC bytes hold
    page[257] = 0x34;
    return page;
}

// 42 valid vehicles at 00:first..: forward, 48 mph, 18 feet.
std::vector<uint8_t> SequentialRecords(uint8_t firstMinute) {
    std::vector<uint8_t> data;
    for (uint8_t i = 0; i < 42; ++i) {
        uint8_t record[6] = {0x00, static_cast<uint8_t>(firstMinute + i / 6), static_cast<uint8_t>(i % 6 * 10), 0x02,
                             48, 18};
        data.insert(data.end(), record, record + 6);
    }
    return data;
}

// Plays the counter: reads framed commands from the master side and answers
// each with what the script returns (nothing for an empty text).
class FakeCounter {
public:
    using Script = std::function<std::string(const std::string& command)>;

    FakeCounter(test::PseudoTerminal& line, Script script) : line_(line), script_(std::move(script)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~FakeCounter() {
        stop_ = true;
        thread_.join();
    }

    std::vector<std::string> Commands() {
        std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }
    std::vector<std::string> Frames() {
        std::lock_guard<std::mutex> lock(mutex_);
        return frames_;
    }
    // Sends bytes on their own once the port has next discarded its input: a
    // wake-up text that only a port opened afresh can hear.
    void SendAfterNextFlush(std::string bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        later_ = std::move(bytes);
        flushMark_ = line_.Flushes();
    }

private:
    void Run() {
        std::string pending;
        while (!stop_) {
            pending += line_.ReadAvailable(10);
            for (size_t end = pending.find('\r'); end != std::string::npos; end = pending.find('\r')) {
                std::string frame = pending.substr(0, end + 1);
                pending.erase(0, end + 1);
                std::string command = frame.substr(0, frame.rfind('|'));
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    commands_.push_back(command);
                    frames_.push_back(frame);
                }
                std::string answer = script_(command);
                if (!answer.empty()) line_.Write(answer);
            }
            std::string later;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!later_.empty() && line_.Flushes() > flushMark_) later.swap(later_);
            }
            if (!later.empty()) line_.Write(later);
        }
    }

    test::PseudoTerminal& line_;
    Script script_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> commands_;
    std::vector<std::string> frames_;
    std::string later_;
    unsigned flushMark_ = 0;
};

class ZK110DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(line.IsOpen());
        ASSERT_FALSE(line.Publish(ports.Path(), 7).empty());
        properties.Set(PROPERTY_COMM_PORT, "7", false);
        properties.Set(PROPERTY_COMM_WAITBETWEENREQSMS, "0", false);
        link.SetStatistics(&statistics);
        link.SetCommLog(&log);
        // A receive time-out that a busy machine never runs into; tests of
        // silence set a short one.
        link.SetTimeouts(1000, 50, 5000);
        ASSERT_EQ(link.OpenPort("COM7", properties.BaudRate(), properties.DataBits(), properties.Parity(),
                                properties.StopBits()),
                  RETCODE_OK);
        driver.completionStepMs = 1;
        driver.LoadRequestDelay();
    }

    // Feeds raw bytes from the counter and takes one answer.
    int32_t Receive(const std::string& bytes, ZK110Driver::Answer& answer) {
        EXPECT_TRUE(line.Write(bytes));
        return driver.ReceiveAnswer(answer);
    }

    // The driver's progress callback: the step it was last called with, and
    // what the test answers (0 without an answer).
    static int32_t ForwardProgress(TallyxHandle handle, uint32_t step) {
        auto* self = reinterpret_cast<ZK110DriverTest*>(handle);
        self->lastStep = step;
        return self->onProgress ? self->onProgress(step) : 0;
    }
    std::function<int32_t(uint32_t)> onProgress;
    uint32_t lastStep = 0;

    test::TempDir ports;
    test::ScopedEnv portDir{"TALLYX_PORT_DIR", ports.Path().c_str()};
    test::PseudoTerminal line;
    PropertyStore properties;
    DeviceStatistics statistics{};
    CommLog log;
    PortLink link;
    ZK110Driver driver{
        {&ForwardProgress, nullptr, reinterpret_cast<TallyxHandle>(this), &link, &properties, &log, &statistics}};
};

TEST_F(ZK110DriverTest, SendsCommandsInTheirFrame) {
    ASSERT_EQ(driver.SendCommand(":R:F"), RETCODE_OK);
    EXPECT_EQ(line.Read(7), std::string("\x3A\x52\x3A\x46\x7C\x43\x0D"));
    ASSERT_EQ(driver.SendCommand(":X"), RETCODE_OK);
    EXPECT_EQ(line.Read(6), std::string(":X|92\r"));
    ASSERT_EQ(driver.SendCommand(":F:X,8,2"), RETCODE_OK);
    EXPECT_EQ(line.Read(12), std::string(":F:X,8,2|D4\r"));
    EXPECT_EQ(statistics.bytesSent, 25u);
}

TEST_F(ZK110DriverTest, ChecksTheAnswerFrameAsText) {
    ZK110Driver::Answer answer;
    EXPECT_EQ(Receive("\x3A\x46\x30\x7C\x42\x30\x0D", answer), RETCODE_OK);
    EXPECT_STREQ(answer, ":F0");

    EXPECT_EQ(Receive(":F0|b0\r", answer), RETCODE_ERR_CRC);
    // \x0C sums to C: a leading zero is refused.
    EXPECT_EQ(Receive("\x0C|0C\r", answer), RETCODE_ERR_CRC);
    EXPECT_EQ(Receive("\x0C|C\r", answer), RETCODE_OK);
    EXPECT_EQ(Receive(":F0|B0|B0\r", answer), RETCODE_ERR_CRC);
    EXPECT_EQ(Receive(":F0B0\r", answer), RETCODE_ERR_READNOCRC);
    // An answer that fills the receive buffer without a carriage return
    // loses its last byte and is still checked within the buffer.
    std::string longAnswer = ":X:0 " + std::string(1100, 'a');
    EXPECT_EQ(Receive(longAnswer, answer), RETCODE_ERR_READNOCRC);
}

TEST_F(ZK110DriverTest, ReceivesPagesAndRecognisesEmptyOnes) {
    uint8_t page[260];
    uint32_t length = 99;

    // An empty page ends a data area whatever its CRC bytes hold.
    ASSERT_TRUE(line.Write(EmptyPage()));
    EXPECT_EQ(driver.ReceivePage(page, length), RETCODE_OK);
    EXPECT_EQ(length, 0u);

    std::string good = Page(SequentialRecords(0));
    good[255] = 0x77;  // not covered by the CRC
    ASSERT_TRUE(line.Write(good));
    EXPECT_EQ(driver.ReceivePage(page, length), RETCODE_OK);
    EXPECT_EQ(length, 260u);
    EXPECT_EQ(std::memcmp(page, good.data(), 260), 0);

    ASSERT_TRUE(line.Write(Page(SequentialRecords(0), false)));
    EXPECT_EQ(driver.ReceivePage(page, length), RETCODE_ERR_CRC);
    EXPECT_EQ(length, 0u);

    // A short page times out.
    link.SetTimeouts(1000, 50, 300);
    ASSERT_TRUE(line.Write(good.substr(0, 100)));
    EXPECT_EQ(driver.ReceivePage(page, length), RETCODE_ERR_READ);
    EXPECT_EQ(statistics.pagesRead, 3u);
}

TEST_F(ZK110DriverTest, RequestTriesThreeTimesPausingAfterEachFailure) {
    properties.Set(PROPERTY_COMM_WAITBETWEENREQSMS, "40", false);
    driver.LoadRequestDelay();
    int answers = 0;
    FakeCounter counter(line, [&](const std::string&) {
        ++answers;
        return answers < 3 ? std::string(":F0|B1\r") : FrameModelA(":F0");
    });
    ZK110Driver::Answer answer;
    auto start = Clock::now();
    EXPECT_EQ(driver.Request(":R:F", answer), RETCODE_OK);
    EXPECT_STREQ(answer, ":F0");
    EXPECT_EQ(statistics.commRetries, 2u);
    // Two failed attempts and the success each pause.
    EXPECT_GE(Clock::now() - start, 120ms);
    EXPECT_EQ(counter.Commands(), (std::vector<std::string>{":R:F", ":R:F", ":R:F"}));
}

TEST_F(ZK110DriverTest, RequestGivesUpAfterThreeFailures) {
    link.SetTimeouts(1000, 50, 300);
    FakeCounter counter(line, [](const std::string&) { return std::string(); });
    ZK110Driver::Answer answer;
    EXPECT_EQ(driver.Request(":R:F", answer), RETCODE_ERR_READ);
    EXPECT_EQ(statistics.commRetries, 3u);
    EXPECT_STREQ(answer, "");
    EXPECT_EQ(counter.Commands().size(), 3u);
}

TEST_F(ZK110DriverTest, AProgressAnswerOfOneAbortsAfterAValidAnswer) {
    FakeCounter counter(line, [](const std::string&) { return FrameModelA(":F0"); });
    onProgress = [](uint32_t step) { return step == 2 ? 1 : 2; };
    ZK110Driver::Answer answer;
    // Any other answer than 1 goes on.
    EXPECT_EQ(driver.Request(":R:F", answer), RETCODE_OK);
    EXPECT_EQ(driver.Request(":R:F", answer), RETCODE_ABORTED);
    EXPECT_STREQ(answer, ":F0");
    EXPECT_EQ(lastStep, 2u);
    EXPECT_EQ(statistics.commRetries, 0u);
}

// Answers writes with ":Y" and read-backs from the map.
FakeCounter::Script WriteScript(std::map<std::string, std::string> readBack, std::string writeAnswer = ":Y") {
    return [readBack, writeAnswer](const std::string& command) {
        if (command.rfind(":S", 0) == 0) return FrameModelA(writeAnswer);
        auto found = readBack.find(command);
        return found != readBack.end() ? FrameModelA(found->second) : std::string();
    };
}

TEST_F(ZK110DriverTest, TheClockMayReadBackAheadOrUpTo10SecondsBehind) {
    DateTime written(2009, 3, 7, 14, 5, 20, 0);
    {
        FakeCounter counter(line, WriteScript({{":R:t", ":t090307140510"}}));
        EXPECT_EQ(driver.SetClock(written), RETCODE_OK);
        EXPECT_EQ(counter.Commands(), (std::vector<std::string>{":S:T090307140520", ":R:t"}));
    }
    {
        FakeCounter counter(line, WriteScript({{":R:t", ":t090307140509"}}));
        EXPECT_EQ(driver.SetClock(written), RETCODE_ERR_CONFIRMATION);
    }
    {
        FakeCounter counter(line, WriteScript({{":R:t", ":t090308000000"}}));
        EXPECT_EQ(driver.SetClock(written), RETCODE_OK);
    }
}

TEST_F(ZK110DriverTest, WriteValueNeedsAnAcknowledgementAndAMatchingReadBack) {
    {
        FakeCounter counter(line, WriteScript({{":R:G", ":GN"}}, ":N"));
        EXPECT_EQ(driver.WriteValue("EnableReverseBins", ":G", ":G", "N"), RETCODE_ERR_SENDINGDATA);
        EXPECT_EQ(counter.Commands(), std::vector<std::string>{":S:GN"});
    }
    {
        FakeCounter counter(line, WriteScript({{":R:G", ":GN"}}));
        EXPECT_EQ(driver.WriteValue("EnableReverseBins", ":G", ":G", "N"), RETCODE_OK);
    }
    {
        FakeCounter counter(line, WriteScript({{":R:G", ":GY"}}));
        EXPECT_EQ(driver.WriteValue("EnableReverseBins", ":G", ":G", "N"), RETCODE_ERR_CONFIRMATION);
    }
    {
        // The date encoding is confirmed by an "s" anywhere in the answer.
        FakeCounter counter(line, WriteScript({{":R:Q", ":Qs"}}));
        EXPECT_EQ(driver.WriteValue("EnableSeqRecDateEncoding", ":Q", ":Q", ":s"), RETCODE_OK);
    }
    {
        FakeCounter counter(line, WriteScript({{":R:Q", ":Q"}}));
        EXPECT_EQ(driver.WriteValue("EnableSeqRecDateEncoding", ":Q", ":Q", ":s"), RETCODE_ERR_CONFIRMATION);
    }
}

// A finished study of one hour from 2009-03-01 00:00 with a 15-minute
// period: answers every field, two sequential pages and as many periodic
// pages as asked for.
std::string FinishedStudy(const std::string& command) {
    static const std::map<std::string, std::string> fields = {
        {":R:F", ":F28"},          {":R:B", ":B090301000000"}, {":R:E", ":E090301010000"},
        {":R:X:7", ":X:7 A1234"},  {":R:X:8", ":X:8 ZK110-B"}, {":F", ":F > 2.1"},
        {":b", ":b 4.05"},         {":J", ":J 2000_1800_0_2000"}, {":R:X:0", ":X:0 ST"},
        {":R:X:1", ":X:1 Town"},   {":R:X:2", ":X:2 County"},  {":R:X:3", ":X:3 Main Street"},
        {":R:X:4", ":X:4 North"},  {":R:X:5", ":X:5 30"},      {":R:X:6", ":X:6 AB"},
        {":R:H", ":H3C"},          {":R:P", ":PF"},            {":R:C", ":C14,28"},
        {":R:S", ":S14,1E,28"},    {":R:Q", ":Q"},
    };
    auto found = fields.find(command);
    if (found != fields.end()) return FrameModelA(found->second);
    if (command == ":F:X,8,2") return Page(SequentialRecords(0));
    if (command == ":F:X,9,2") return Page(SequentialRecords(10));
    if (command == ":F:X,10,2") return EmptyPage();
    unsigned page = 0;
    if (std::sscanf(command.c_str(), ":F:X,%u,1", &page) == 1) {
        unsigned offset = (page - 7) * 15;
        return Page({static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset), 0, 0, 20});
    }
    return std::string();
}

std::vector<std::string> FullReadCommands(std::vector<std::string> pages) {
    std::vector<std::string> commands = {":R:F",   ":R:B",   ":R:E",   ":R:X:7", ":R:X:8", ":F",     ":b",
                                         ":J",     ":R:X:0", ":R:X:1", ":R:X:2", ":R:X:3", ":R:X:4", ":R:X:5",
                                         ":R:X:6", ":R:H",   ":R:P",   ":R:C",   ":R:S",   ":R:Q"};
    commands.insert(commands.end(), pages.begin(), pages.end());
    return commands;
}

TEST_F(ZK110DriverTest, AFullReadAsksForTheFieldsThenTheSequentialAndPeriodicPages) {
    FakeCounter counter(line, FinishedStudy);
    ASSERT_EQ(driver.Read(), RETCODE_OK);
    EXPECT_EQ(counter.Commands(), FullReadCommands({":F:X,8,2", ":F:X,9,2", ":F:X,10,2", ":F:X,8,1", ":F:X,9,1",
                                                    ":F:X,10,1", ":F:X,11,1"}));
    EXPECT_STREQ(properties.Text(PROPERTY_DEV_SERIALNO), "A1234");
    EXPECT_STREQ(properties.Text(PROPERTY_STUDY_PERIODTIME), "15");
    EXPECT_EQ(statistics.pagesRead, 7u);

    char text[256];
    int lines = 0;
    ASSERT_EQ(driver.FirstValue(GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, text, sizeof text), RETCODE_OK);
    while (driver.NextValue(text, sizeof text) == RETCODE_OK) ++lines;
    EXPECT_EQ(lines, 84);
    lines = 0;
    ASSERT_EQ(driver.FirstValue(GETVALUE_DATA_PERIODIC, GETVALUE_FORMAT_CSV, text, sizeof text), RETCODE_OK);
    while (driver.NextValue(text, sizeof text) == RETCODE_OK) ++lines;
    EXPECT_EQ(lines, 4);
}

TEST_F(ZK110DriverTest, AnswersThatCameLateForAnotherRequestArePassedOver) {
    // Four late answers to the previous request (the study end) before the
    // serial number's own: one more than an attempt passes over, every time.
    FakeCounter counter(line, [](const std::string& command) {
        if (command == ":R:X:7") {
            const std::string late = FinishedStudy(":R:E");
            return late + late + late + late + FinishedStudy(command);
        }
        return FinishedStudy(command);
    });
    EXPECT_EQ(driver.Read(), RETCODE_ERR_BADRESPONSE);
    EXPECT_EQ(statistics.commRetries, 3u);
}

TEST_F(ZK110DriverTest, ALateAnswerNeverTakesTheNextRequestsPlace) {
    FakeCounter counter(line, [](const std::string& command) {
        if (command == ":R:X:2") return FrameModelA(":X:1 Town") + FinishedStudy(command);
        return FinishedStudy(command);
    });
    ASSERT_EQ(driver.Read(), RETCODE_OK);
    EXPECT_STREQ(properties.Text(PROPERTY_STUDY_COUNTY), "County");
    EXPECT_STREQ(properties.Text(PROPERTY_STUDY_CITY), "Town");
    EXPECT_EQ(statistics.commRetries, 0u);
}

TEST_F(ZK110DriverTest, ThePeriodicPageLimitIsTheNumberOfPeriods) {
    FakeCounter counter(line, FinishedStudy);
    RecordBuffer pages;
    // The study as the counter's answers give it: begin, end and period.
    auto study = [this](const char* begin, const char* end, const char* period) {
        for (const std::string& answer : {std::string(":B") + begin, std::string(":E") + end, std::string(":P") + period}) {
            driver.Values().ParseAnswer("", answer.c_str());
        }
    };

    study("0903010000", "0903010100", "7");
    ASSERT_EQ(driver.ReadPeriodicPages(pages), RETCODE_OK);
    EXPECT_EQ(pages.Length(), 9u * 260);

    // A period of 0, or an end not after the begin, asks for no page.
    study("0903010000", "0903010100", "0");
    ASSERT_EQ(driver.ReadPeriodicPages(pages), RETCODE_OK);
    EXPECT_EQ(pages.Length(), 0u);
    EXPECT_EQ(pages.Data(), nullptr);
    study("0903010000", "0903010000", "F");
    ASSERT_EQ(driver.ReadPeriodicPages(pages), RETCODE_OK);
    EXPECT_EQ(pages.Length(), 0u);
    EXPECT_EQ(counter.Commands().size(), 9u);
}

TEST_F(ZK110DriverTest, AFirstEmptyPageGivesNoData) {
    FakeCounter counter(line, [](const std::string&) { return EmptyPage(); });
    RecordBuffer pages;
    ASSERT_EQ(driver.ReadSequentialPages(pages), RETCODE_OK);
    EXPECT_EQ(pages.Length(), 0u);
    EXPECT_EQ(pages.Data(), nullptr);
    EXPECT_EQ(counter.Commands(), std::vector<std::string>{":F:X,8,2"});
}

TEST_F(ZK110DriverTest, APageWithABadCrcIsAskedForAgain) {
    int bad = 0;
    FakeCounter counter(line, [&](const std::string& command) {
        if (command == ":F:X,8,2") return Page(SequentialRecords(0), ++bad > 2);
        return EmptyPage();
    });
    RecordBuffer pages;
    ASSERT_EQ(driver.ReadSequentialPages(pages), RETCODE_OK);
    EXPECT_EQ(pages.Length(), 252u);
    EXPECT_EQ(statistics.commRetries, 2u);
    EXPECT_EQ(statistics.pagesRead, 4u);
    EXPECT_EQ(counter.Commands(), (std::vector<std::string>{":F:X,8,2", ":F:X,8,2", ":F:X,8,2", ":F:X,9,2"}));
}

TEST_F(ZK110DriverTest, APageThatFailsThreeTimesFailsTheDownload) {
    FakeCounter counter(line, [](const std::string&) { return Page(SequentialRecords(0), false); });
    RecordBuffer pages;
    EXPECT_EQ(driver.ReadSequentialPages(pages), RETCODE_ERR_CRC);
    EXPECT_EQ(pages.Data(), nullptr);
    EXPECT_EQ(statistics.commRetries, 3u);
}

TEST_F(ZK110DriverTest, AProgressAnswerOfOneStopsTheDownloadAfterAPage) {
    FakeCounter counter(line, [](const std::string&) { return Page(SequentialRecords(0)); });
    onProgress = [](uint32_t) { return 1; };
    RecordBuffer pages;
    EXPECT_EQ(driver.ReadSequentialPages(pages), RETCODE_ABORTED);
    EXPECT_EQ(pages.Data(), nullptr);
    EXPECT_EQ(counter.Commands().size(), 1u);
}

TEST_F(ZK110DriverTest, TheReadActionChoosesWhatIsRead) {
    FakeCounter counter(line, FinishedStudy);
    properties.Set(PROPERTY_TALLYX_READWRITEACTION, "tallyx_readaction_deviceinfo", false);
    ASSERT_EQ(driver.Read(), RETCODE_OK);
    EXPECT_EQ(counter.Commands(), (std::vector<std::string>{":R:X:7", ":R:X:8", ":F", ":b", ":J"}));

    properties.Set(PROPERTY_TALLYX_READWRITEACTION, "TALLYX_WRITEACTION_PROGRAMSTUDY", false);
    EXPECT_EQ(driver.Read(), RETCODE_ERR_INVALIDPROPERTYVALUE);
    EXPECT_EQ(counter.Commands().size(), 5u);
}

TEST_F(ZK110DriverTest, AUnitWithoutAVoltageIsAskedTheLegacyBatteryCommand) {
    FakeCounter counter(line, [](const std::string& command) {
        if (command == ":b") return FrameModelA(":b:N");
        if (command == ":B") return FrameModelA(":B1A3");
        return FinishedStudy(command);
    });
    properties.Set(PROPERTY_TALLYX_READWRITEACTION, TALLYX_READACTION_DEVICEINFO, false);
    ASSERT_EQ(driver.Read(), RETCODE_OK);
    EXPECT_EQ(counter.Commands(), (std::vector<std::string>{":R:X:7", ":R:X:8", ":F", ":b", ":B", ":J"}));
    EXPECT_STREQ(properties.Text(PROPERTY_DEV_BATTERYVOLTAGE), "9.697085");
}

TEST_F(ZK110DriverTest, ARunningStudyIsCompletedByMovingTheClockAndWakingTheUnitAgain) {
    int finishCodes = 0;
    // Set once the counter runs; read on its thread.
    std::atomic<FakeCounter*> self{nullptr};
    FakeCounter counter(line, [&](const std::string& command) {
        if (command == ":R:F") return FrameModelA(++finishCodes == 1 ? ":FB" : ":F28");
        if (command.rfind(":S:T", 0) == 0) return FrameModelA(":Y");
        if (command == ":R:t") {
            // The unit restarts once its study has ended.
            self.load()->SendAfterNextFlush("READY\r");
            return FrameModelA(":t090301005950");
        }
        return FinishedStudy(command);
    });
    self = &counter;
    ASSERT_EQ(driver.Read(), RETCODE_OK);
    std::vector<std::string> commands = counter.Commands();
    ASSERT_GE(commands.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 7),
              (std::vector<std::string>{":R:F", ":R:B", ":R:E", ":S:T090301005950", ":R:t", ":R:F", ":R:X:7"}));
    EXPECT_STREQ(properties.Text(PROPERTY_STUDY_FCODE), "0");
}

TEST_F(ZK110DriverTest, AWrongWakeUpAfterCompletingFails) {
    // Set once the counter runs; read on its thread.
    std::atomic<FakeCounter*> self{nullptr};
    FakeCounter counter(line, [&](const std::string& command) {
        if (command == ":R:F") return FrameModelA(":FC");
        if (command.rfind(":S:T", 0) == 0) return FrameModelA(":Y");
        if (command == ":R:t") {
            self.load()->SendAfterNextFlush("READX\r");
            return FrameModelA(":t090301005950");
        }
        return FinishedStudy(command);
    });
    self = &counter;
    EXPECT_EQ(driver.Read(), RETCODE_ERR_FAILEDTOWAKEUP);
}

}  // namespace
}  // namespace tallyx
