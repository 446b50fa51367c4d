// The read operation of the model B driver: identity and battery, the study
// information (stopping a study that still runs), the user area, and the
// download of every recorded vehicle.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <tallyx/tallyx.h>

#include "device/device_statistics.h"
#include "comm/comm_log.h"
#include "drivers/modelb/zk220_driver.h"
#include "drivers/modelb/zk220_raw_layouts.h"
#include "drivers/modelb/zk220_records.h"
#include "drivers/modelb/zk220_values.h"
#include "drivers/record_buffer.h"
#include "properties/property_store.h"

namespace tallyx {

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

}  // namespace tallyx
