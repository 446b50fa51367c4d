#include "drivers/modelb/zk220_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <tallyx/tallyx.h>

#include "comm/comm_log.h"
#include "comm/comm_port.h"
#include "comm/port_link.h"
#include "device/device_statistics.h"
#include "device/device_values.h"
#include "drivers/modelb/zk220_values.h"
#include "drivers/record_buffer.h"
#include "export/xml_writer.h"
#include "properties/property_store.h"
#include "properties/version_info.h"
#include "time/date_time.h"

namespace tallyx {

// ---------------------------------------------------------------- exchanges

namespace {

constexpr uint8_t kLineFeed = 0x0A;
// The counter's carriage return and line feed end every answer line.
constexpr uint32_t kAnswerEnding = 2;

constexpr CounterDriver::Rules kRules{.attempts = ZK220Driver::kAttempts,
                                       .promptIdleMs = ZK220Driver::kPromptIdleMs,
                                       .programFailed = "All %u retries to set study failed!",
                                       .dumpsStudySettings = false};

}  // namespace

ZK220Driver::ZK220Driver(const DriverParts& parts) : CounterDriver(kZK220Model, parts, kRules) {
    CreateValues<ZK220Values>();
}

ZK220Values& ZK220Driver::Values() { return static_cast<ZK220Values&>(*values); }

int32_t ZK220Driver::SendCommand(const char* command) {
    char line[kCounterLineCapacity];
    const int length = std::snprintf(line, sizeof line, "%s%c", command != nullptr ? command : "", kLineFeed);
    if (length < 0 || static_cast<uint32_t>(length) >= sizeof line) {
        commLog->LogError("Command is too long to be sent: %.64s", command);
        return RETCODE_ERR_SENDINGDATA;
    }
    DiscardLateAnswers(command != nullptr ? command : "");
    // The command whose answer may come late, should this exchange fail.
    if (!lateAnswerPossible_) std::snprintf(lateCommand_, sizeof lateCommand_, "%s", command != nullptr ? command : "");
    // The log shows the line without its line feed.
    return SendBytes(line, static_cast<uint32_t>(length), static_cast<uint32_t>(length) - 1);
}

void ZK220Driver::DiscardLateAnswers(const char* nextCommand) {
    // A command tried again gets the same answer, so a late one serves it as
    // well; a different command must not take it for its own. The counter
    // answers one command after the other, so the rest follows closely.
    if (!lateAnswerPossible_ || std::strcmp(nextCommand, lateCommand_) == 0) return;
    lateAnswerPossible_ = false;
    uint32_t sendMs = 0;
    uint32_t peekMs = 0;
    uint32_t receiveMs = 0;
    link->GetTimeouts(&sendMs, &peekMs, &receiveMs);
    const uint32_t dropped = link->DiscardUntilQuiet(peekMs, receiveMs);
    if (dropped > 0) {
        commLog->LogWarning("Dropped %lu bytes that came too late for %s", static_cast<unsigned long>(dropped),
                            lateCommand_);
    }
}

int32_t ZK220Driver::ReceiveLine(Answer& answer) {
    uint8_t received[kCounterLineCapacity];
    uint32_t count = 0;
    const int32_t result = link->ReceiveUntil(received, sizeof received, &count, kLineFeed);
    if (result != RETCODE_OK) {
        lateAnswerPossible_ = true;
        return result;
    }
    if (count > sizeof received) count = sizeof received;
    commLog->Dump("IN", received, count, 1);

    // A full line cut at the buffer's end loses its last two bytes all the
    // same; a line of fewer than two bytes leaves nothing.
    const uint32_t length = count > kAnswerEnding ? count - kAnswerEnding : 0;
    std::memcpy(answer, received, length);
    answer[length] = '\0';
    commLog->LogInfo("Device => %s", answer);
    return RETCODE_OK;
}

int32_t ZK220Driver::ReceiveBinary(uint8_t* destination, uint32_t count) {
    uint32_t received = 0;
    const int32_t result = link->ReceiveExact(destination, count, &received, count);
    if (result != RETCODE_OK) {
        lateAnswerPossible_ = true;
        return result;
    }
    commLog->LogInfo("Device => binary data of %lu bytes", static_cast<unsigned long>(count));
    return RETCODE_OK;
}

int32_t ZK220Driver::ExchangeOnce(const char* command, Answer& answer) {
    const int32_t result = SendCommand(command);
    if (result != RETCODE_OK) return result;
    Pause(requestDelayMs);
    return ReceiveLine(answer);
}

int32_t ZK220Driver::Query(const char* command, Answer& answer) {
    const int32_t result = Request(command, answer);
    if (result != RETCODE_OK) return result;
    if (answer[0] != 'Y') return RETCODE_ERR_READ;
    return ReceiveLine(answer);
}

int32_t ZK220Driver::ReceiveWakeUp() {
    lateAnswerPossible_ = false;  // a new opening of the port hears nothing of the old one
    uint8_t line[kCounterLineCapacity];
    uint32_t received = 0;
    const int32_t result = link->ReceiveUntil(line, sizeof line, &received, kLineFeed);
    if (result != RETCODE_OK) {
        commLog->LogInfo("Failed to receive response from the device: Error=%ld", static_cast<long>(result));
        return result;
    }
    return RETCODE_OK;
}

// ---------------------------------------------------------------- reading
// Identity and battery, the study information (stopping a study that still
// runs), the user area, and the download of every recorded vehicle.

namespace {

struct FieldQuery {
    const char* info;
    const char* command;
};

constexpr FieldQuery kDeviceInfoFields[] = {
    {"Attempting to read Serial Number field", "GETSERIALNUMBER"},
    {"Attempting to read Unit Type field", "GETDEVICETYPE"},
    {"Attempting to read Firmware Revision field", "GETFIRMWAREVERSION"},
    {"Attempting to read Battery Voltage field", "GETBATTERYVOLTAGE"},
    {"Attempting to read Battery Charge Percentage field", "GETBATTERYPERCENT"},
};
// The progress plan of the table of models counts these queries.
static_assert(std::size(kDeviceInfoFields) == kZK220IdentityQueries);

// State codes of a study that is still active.
bool IsActive(int32_t stateCode) { return stateCode >= 1 && stateCode <= 3; }

// Appends text to the gathered user area, cutting what does not fit.
void AppendCut(char* gathered, uint32_t& length, uint32_t capacity, const char* text) {
    while (*text != '\0' && length < capacity) gathered[length++] = *text++;
    gathered[length] = '\0';
}

}  // namespace

int32_t ZK220Driver::ReadEverything() {
    int32_t result = ReadDeviceInfo();
    if (result == RETCODE_OK) result = ReadStudyInfo();
    RecordBuffer records;
    if (result == RETCODE_OK) result = DownloadRecords(records);
    if (result != RETCODE_OK) return result;

    result = DecodeDownload(kZK220SequentialRawLayout, records, [this](const uint8_t* data, uint32_t length) {
        return Values().DecodeSequential(data, length);
    });
    return result;
}

int32_t ZK220Driver::QueryField(const char* info, const char* command, Answer& answer) {
    commLog->LogInfo("%s", info);
    int32_t result = Query(command, answer);
    if (result != RETCODE_OK) return result;
    return Values().ParseAnswer(command, answer);
}

int32_t ZK220Driver::ReadDeviceInfo() {
    Answer answer;
    for (const FieldQuery& field : kDeviceInfoFields) {
        const int32_t result = QueryField(field.info, field.command, answer);
        if (result != RETCODE_OK) return result;
    }
    return RETCODE_OK;
}

int32_t ZK220Driver::QueryStudyInfo(const char* info) {
    Answer answer;
    return QueryField(info, "GETSTUDYINFO", answer);
}

int32_t ZK220Driver::StopStudy() {
    commLog->LogInfo("Study is still active. Attempting to stop...");
    Answer answer;
    const int32_t result = Request("CONTROLSTUDY STOP", answer);
    if (result != RETCODE_OK) return result;
    if (answer[0] != 'Y') return RETCODE_ERR_READ;
    return RETCODE_OK;
}

int32_t ZK220Driver::ReadStudyInfo() {
    int32_t result = QueryStudyInfo("Attempting to read Study Info field");
    if (result != RETCODE_OK) return result;
    if (IsActive(Values().Study().finishCode)) {
        result = StopStudy();
        if (result != RETCODE_OK) return result;
        result = QueryStudyInfo("Attempting to re-read Study Info field");
        if (result != RETCODE_OK) return result;
    }
    return ReadUserArea();
}

int32_t ZK220Driver::ReadUserArea() {
    char gathered[kZK220UserAreaCapacity + 1] = {};
    uint32_t length = 0;
    Answer answer;
    for (uint32_t block = 0; block < kZK220UserAreaBlocks; ++block) {
        commLog->LogInfo("Attempting to read User Area block %u field", static_cast<unsigned>(block));
        char command[32];
        std::snprintf(command, sizeof command, "%s %u", "GETUSERAREA", static_cast<unsigned>(block));
        const int32_t result = Query(command, answer);
        if (result != RETCODE_OK) return result;
        // Each block ends in the closing quote of its piece; the pieces join
        // without the quotes between them.
        if (block != 0 && length != 0) gathered[--length] = '\0';
        AppendCut(gathered, length, kZK220UserAreaCapacity, answer);
    }
    return Values().ParseAnswer("GETUSERAREA", gathered);
}

int32_t ZK220Driver::RequestChunk(uint32_t first, uint32_t count, uint8_t* destination) {
    char command[64];
    std::snprintf(command, sizeof command, "%s %lu %lu", "GETSTUDYDATABINARY", static_cast<unsigned long>(first),
                  static_cast<unsigned long>(count));
    Answer answer;
    const int32_t result = Attempts(
        [&] {
            commLog->LogInfo("Requesting %lu records starting with record #%lu", static_cast<unsigned long>(count),
                             static_cast<unsigned long>(first));
            const int32_t asked = Request(command, answer);
            if (asked != RETCODE_OK) return asked;
            return answer[0] == 'Y' ? ReceiveBinary(destination, count * kZK220RecordSize) : RETCODE_ERR_READ;
        },
        [&] { commLog->LogWarning("Retrying..."); });
    if (result != RETCODE_OK) {
        commLog->LogError("All (%d) retry attempts to retrieve records failed!", static_cast<int>(kAttempts));
    }
    return result;
}

int32_t ZK220Driver::DownloadRecords(RecordBuffer& received) {
    received.Free();
    commLog->LogInfo("Attempting to read sequential data");

    const int32_t recordSize = Values().Study().recordSize;
    if (recordSize != static_cast<int32_t>(kZK220RecordSize)) {
        commLog->LogError("Unexpected study record size (%ld)", static_cast<long>(recordSize));
        return RETCODE_ERR_BADDATATYPE;
    }
    // The count comes from the counter: one that cannot be a study is refused
    // before anything is allocated or requested.
    const int32_t records = Values().Study().recordCount;
    if (records < 0 || records > kMostRecords) {
        commLog->LogError("Unexpected number of study records (%ld)", static_cast<long>(records));
        return RETCODE_ERR_BADRESPONSE;
    }
    const uint32_t total = static_cast<uint32_t>(records);
    uint32_t first = 0;
    const int32_t result = DownloadBlocks(received, [&]() -> int32_t {
        if (first >= total) return RETCODE_OK;
        const uint32_t count = total - first < kZK220ChunkRecords ? total - first : kZK220ChunkRecords;
        const uint32_t bytes = count * kZK220RecordSize;
        int32_t fetched = ReserveBlock(received, bytes, "Failed to allocate memory for %lu bytes of sequential data");
        if (fetched == RETCODE_OK) fetched = RequestChunk(first, count, received.End());
        if (fetched != RETCODE_OK) return fetched;
        received.Commit(bytes);
        first += count;
        return RETCODE_OK;
    });
    if (result != RETCODE_OK) return result;
    commLog->LogInfo("Successfully retrieved sequential data (%lu bytes)", static_cast<unsigned long>(received.Length()));
    return RETCODE_OK;
}

// ---------------------------------------------------------------- writing
// Programming a new study (battery discharge off, user area erased, clock set,
// study programmed and user area written, retried as a whole) and switching
// the battery discharge on or off.

namespace {

// The elements of the user-area document in their order, after the version.
constexpr KeyedProperty kUserAreaFields[] = {
    {"SB", PROPERTY_STUDY_SPEEDBINS}, {"LB", PROPERTY_STUDY_LENGTHBINS}, {"SPL", PROPERTY_STUDY_SPEEDLIMIT},
    {"OP", PROPERTY_STUDY_OPERATOR},  {"ST", PROPERTY_STUDY_STATE},      {"CT", PROPERTY_STUDY_CITY},
    {"CNT", PROPERTY_STUDY_COUNTY},   {"ADDR", PROPERTY_STUDY_ADDRESS},  {"LN", PROPERTY_STUDY_LANE},
};

bool AddElement(XmlWriter& writer, const char* tag, const char* text) {
    return writer.OpenElement(tag) && writer.AddText(text) && writer.CloseElement(tag);
}

}  // namespace

int32_t ZK220Driver::ReadBatteryPercent(int32_t& percent) {
    percent = static_cast<int32_t>(std::strtoul(properties->Text(PROPERTY_DEV_BATTERYPERCENT), nullptr, 10));
    const double volts = std::strtod(properties->Text(PROPERTY_DEV_BATTERYVOLTAGE), nullptr);
    commLog->LogInfo("Current battery charge percentage is %u (voltage is %7.2f)", static_cast<unsigned>(percent),
                     volts);
    return RETCODE_OK;
}

int32_t ZK220Driver::Command(const char* command) {
    Answer answer;
    const int32_t result = Request(command, answer);
    if (result != RETCODE_OK) return result;
    return answer[0] == 'Y' ? RETCODE_OK : RETCODE_ERR_READ;
}

int32_t ZK220Driver::ProgramOnce() {
    int32_t result = SetBatteryDischarge(false);
    if (result == RETCODE_OK) result = EraseUserArea();
    if (result == RETCODE_OK) result = SetClock();
    if (result == RETCODE_OK) result = SendStudyProgram();
    if (result == RETCODE_OK) result = WriteUserArea();
    return result;
}

int32_t ZK220Driver::SetBatteryDischarge(bool start) {
    commLog->LogInfo("Setting battery discharge to %s", start ? "ON" : "OFF");
    char command[64];
    std::snprintf(command, sizeof command, "%s %s", "CONTROLBATTERYDISCHARGE", start ? "START" : "STOP");
    return Command(command);
}

int32_t ZK220Driver::EraseUserArea() {
    commLog->LogInfo("Erasing user area");
    return Command("ERASEUSERAREA");
}

int32_t ZK220Driver::SetClock() {
    commLog->LogInfo("Setting device clock to current time");
    char now[DateTime::kFormatBufferSize];
    DateTime::Now().Format(DTF_DATE | DTF_TIME | DTF_NO_MS, now);
    char command[128];
    std::snprintf(command, sizeof command, "%s \"%s\"", "SETCLOCK", now);
    return Command(command);
}

int32_t ZK220Driver::SendStudyProgram() {
    char begin[DateTime::kFormatBufferSize];
    char end[DateTime::kFormatBufferSize];
    properties->Time(PROPERTY_STUDY_BEGINDATETIME).Format(DTF_DATE | DTF_TIME | DTF_NO_MS, begin);
    properties->Time(PROPERTY_STUDY_ENDDATETIME).Format(DTF_DATE | DTF_TIME | DTF_NO_MS, end);
    const int64_t periodSeconds = int64_t{properties->Number(PROPERTY_STUDY_PERIODTIME)} * 60;
    commLog->LogInfo("Programming TRAFFIC study");
    char command[256];
    std::snprintf(command, sizeof command, "%s %s TRAFFIC \"%s\" \"%s\" %ld", "CONTROLSTUDY", "PROGRAM", begin, end,
                  static_cast<long>(periodSeconds));
    return Command(command);
}

bool ZK220Driver::BuildUserArea(char* document, uint32_t size) const {
    XmlWriter writer;
    writer.buffer = document;
    writer.capacity = size;
    writer.pretty = 0;
    writer.depth = 0;
    document[0] = '\0';
    // The store hands out one shared text buffer: each value is written
    // before the next is asked for.
    const std::string version = LibraryFileVersion();
    bool ok = writer.OpenElement("TALLYX") && AddElement(writer, "V", version.c_str());
    for (const KeyedProperty& field : kUserAreaFields) {
        ok = ok && AddElement(writer, field.key, properties->Text(field.property));
    }
    return ok && writer.CloseElement("TALLYX");
}

int32_t ZK220Driver::CheckUserAreaReadable() {
    for (const KeyedProperty& field : kUserAreaFields) {
        const char* text = properties->Text(field.property);
        if (std::strpbrk(text, "<>") != nullptr) {
            commLog->LogError("Property %s contains an angle bracket, which would make the study unreadable",
                              field.property);
            return RETCODE_ERR_INVALIDPROPERTYVALUE;
        }
    }
    char document[kZK220UserAreaCapacity + 1];
    const bool fits = BuildUserArea(document, sizeof document);
    const size_t length = fits ? std::strlen(document) : sizeof document;
    if (length > kReadableUserArea) {
        commLog->LogError("The study's site texts and bins need %lu characters in the counter, more than the %lu a read "
                          "gives back",
                          static_cast<unsigned long>(length), static_cast<unsigned long>(kReadableUserArea));
        return RETCODE_ERR_BUFFERTOOSMALL;
    }
    return RETCODE_OK;
}

int32_t ZK220Driver::WriteUserArea() {
    commLog->LogInfo("Writing user area");
    char document[kZK220UserAreaCapacity + 1];
    if (!BuildUserArea(document, sizeof document)) return RETCODE_ERR_BUFFERTOOSMALL;

    const char* remaining = document;
    for (uint32_t block = 0; *remaining != '\0'; ++block) {
        char line[kUserAreaLine + 16];
        const int prefix = std::snprintf(line, sizeof line, "%s %u \"", "SETUSERAREA", static_cast<unsigned>(block));
        // The piece fills the line up to its length; the closing quote follows.
        const size_t room = kUserAreaLine - static_cast<size_t>(prefix);
        const size_t piece = std::min(std::strlen(remaining), room);
        std::memcpy(line + prefix, remaining, piece);
        line[prefix + piece] = '"';
        line[prefix + piece + 1] = '\0';
        remaining += piece;
        const int32_t result = Command(line);
        if (result != RETCODE_OK) return result;
    }
    return RETCODE_OK;
}

}  // namespace tallyx
