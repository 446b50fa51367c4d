// The read operation of the model B driver: identity and battery, the study
// information (stopping a study that still runs), the user area, and the
// download of every recorded vehicle.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <tallyx/tallyx.h>

#include "api/device_statistics.h"
#include "comm/comm_log.h"
#include "drivers/modelb/zk220_driver.h"
#include "drivers/modelb/zk220_records.h"
#include "drivers/modelb/zk220_values.h"
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

// State codes of a study that is still active.
bool IsActive(int32_t stateCode) { return stateCode >= 1 && stateCode <= 3; }

// Appends text to the gathered user area, cutting what does not fit.
void AppendCut(char* gathered, uint32_t& length, uint32_t capacity, const char* text) {
    while (*text != '\0' && length < capacity) gathered[length++] = *text++;
    gathered[length] = '\0';
}

// The record buffer of a download: grown before each chunk, freed on every
// way out that does not hand it to the caller.
class RecordBuffer {
public:
    ~RecordBuffer() { std::free(data_); }

    uint8_t* Data() const { return data_; }
    uint32_t Used() const { return used_; }
    void Add(uint32_t bytes) { used_ += bytes; }

    // Makes room for a chunk: when the free room is not larger than the chunk,
    // the first capacity is 100 chunks (at most the ceiling) and each later
    // one twice the last. False when the memory cannot be had; what was
    // received is then freed.
    bool Reserve(uint32_t chunkBytes, uint32_t firstCeiling) {
        if (capacity_ - used_ > chunkBytes) return true;
        size_t wanted = used_ == 0 ? std::min<size_t>(size_t{chunkBytes} * 100, firstCeiling) : size_t{capacity_} * 2;
        if (wanted < size_t{used_} + chunkBytes) wanted = size_t{used_} + chunkBytes;
        if (wanted > UINT32_MAX) return Fail();
        auto* grown = static_cast<uint8_t*>(std::realloc(data_, wanted));
        if (grown == nullptr) return Fail();
        data_ = grown;
        capacity_ = static_cast<uint32_t>(wanted);
        return true;
    }

    uint8_t* Release() {
        uint8_t* data = data_;
        data_ = nullptr;
        used_ = capacity_ = 0;
        return data;
    }

private:
    bool Fail() {
        std::free(data_);
        data_ = nullptr;
        used_ = capacity_ = 0;
        return false;
    }

    uint8_t* data_ = nullptr;
    uint32_t used_ = 0;
    uint32_t capacity_ = 0;
};

}  // namespace

int32_t ZK220Driver::Read() {
    commLog->LogInfo("Attempting to read the device...");
    progressStep = 0;
    values->Clear();
    LoadRequestDelay();

    char action[PropertyStore::kWorkingSize];
    int32_t result = properties->Get(PROPERTY_TALLYX_READWRITEACTION, action, sizeof action, false);
    if (result != RETCODE_OK) return result;

    if (strcasecmp(action, TALLYX_READACTION_DEVICEINFO) == 0) {
        result = ReadDeviceInfo();
    } else if (action[0] == '\0' || strcasecmp(action, TALLYX_READACTION_ALL) == 0) {
        result = ReadAll();
    } else {
        commLog->LogError("Invalid property value specified for property %s (%s)", "PROPERTY_TALLYX_READWRITEACTION",
                          action);
        return RETCODE_ERR_INVALIDPROPERTYVALUE;
    }
    if (result != RETCODE_OK) return result;
    commLog->LogInfo("Read device was successful");
    return RETCODE_OK;
}

int32_t ZK220Driver::ReadAll() {
    int32_t result = ReadDeviceInfo();
    if (result == RETCODE_OK) result = ReadStudyInfo();
    uint8_t* records = nullptr;
    uint32_t size = 0;
    if (result == RETCODE_OK) result = DownloadRecords(&records, &size);
    if (result != RETCODE_OK) return result;

    WriteSequentialRawDocument(records, size);
    if (size != 0) {
        result = Values().DecodeRecords(records, size);
        std::free(records);
        if (result != RETCODE_OK) return result;
    }
    WriteProcessedDocument();
    return RETCODE_OK;
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
    const int32_t result = Exchange("CONTROLSTUDY STOP", answer);
    if (result != RETCODE_OK) return result;
    if (answer[0] != 'Y') return RETCODE_ERR_READ;
    return RETCODE_OK;
}

int32_t ZK220Driver::ReadStudyInfo() {
    int32_t result = QueryStudyInfo("Attempting to read Study Info field");
    if (result != RETCODE_OK) return result;
    if (IsActive(properties->Number(PROPERTY_STUDY_FCODE))) {
        result = StopStudy();
        if (result != RETCODE_OK) return result;
        result = QueryStudyInfo("Attempting to re-read Study Info field");
        if (result != RETCODE_OK) return result;
    }
    return ReadUserArea();
}

int32_t ZK220Driver::ReadUserArea() {
    char gathered[kUserAreaCapacity + 1] = {};
    uint32_t length = 0;
    Answer answer;
    for (uint32_t block = 0; block < kUserAreaBlocks; ++block) {
        commLog->LogInfo("Attempting to read User Area block %u field", static_cast<unsigned>(block));
        char command[32];
        std::snprintf(command, sizeof command, "%s %u", "GETUSERAREA", static_cast<unsigned>(block));
        const int32_t result = Query(command, answer);
        if (result != RETCODE_OK) return result;
        // Each block ends in the closing quote of its piece; the pieces join
        // without the quotes between them.
        if (block != 0 && length != 0) gathered[--length] = '\0';
        AppendCut(gathered, length, kUserAreaCapacity, answer);
    }
    return Values().ParseAnswer("GETUSERAREA", gathered);
}

int32_t ZK220Driver::RequestChunk(uint32_t first, uint32_t count, uint8_t* destination) {
    char command[64];
    std::snprintf(command, sizeof command, "%s %lu %lu", "GETSTUDYDATABINARY", static_cast<unsigned long>(first),
                  static_cast<unsigned long>(count));
    Answer answer;
    int32_t result = RETCODE_OK;
    for (uint32_t attempt = 1; attempt <= kAttempts; ++attempt) {
        commLog->LogInfo("Requesting %lu records starting with record #%lu", static_cast<unsigned long>(count),
                         static_cast<unsigned long>(first));
        result = Exchange(command, answer);
        if (result == RETCODE_OK) {
            result = answer[0] == 'Y' ? ReceiveBinary(destination, count * kZK220RecordSize) : RETCODE_ERR_READ;
        }
        if (result == RETCODE_OK || result == RETCODE_ABORTED) break;
        if (attempt < kAttempts) commLog->LogWarning("Retrying...");
        Pause(requestDelayMs);
        ++statistics->commRetries;
    }
    if (result != RETCODE_OK) {
        commLog->LogError("All (%d) retry attempts to retrieve records failed!", static_cast<int>(kAttempts));
    }
    return result;
}

int32_t ZK220Driver::DownloadRecords(uint8_t** buffer, uint32_t* size) {
    *buffer = nullptr;
    *size = 0;
    commLog->LogInfo("Attempting to read sequential data");

    const int32_t recordSize = properties->Number(PROPERTY_STUDY_BINRECORDSIZE);
    if (recordSize != static_cast<int32_t>(kZK220RecordSize)) {
        commLog->LogError("Unexpected study record size (%lu)", static_cast<unsigned long>(recordSize));
        return RETCODE_ERR_BADDATATYPE;
    }
    // The count comes from the counter: one that cannot be a study is refused
    // before anything is allocated or requested.
    const int32_t records = properties->Number(PROPERTY_STUDY_NUMRECORDS);
    if (records < 0 || records > kMostRecords) {
        commLog->LogError("Unexpected number of study records (%ld)", static_cast<long>(records));
        return RETCODE_ERR_BADRESPONSE;
    }
    const uint32_t total = static_cast<uint32_t>(records);
    if (total == 0) {
        commLog->LogInfo("Successfully retrieved sequential data (%lu bytes)", 0ul);
        return RETCODE_OK;
    }

    RecordBuffer received;
    for (uint32_t first = 0; first < total;) {
        const uint32_t count = total - first < kChunkRecords ? total - first : kChunkRecords;
        const uint32_t bytes = count * kZK220RecordSize;
        if (!received.Reserve(bytes, kFirstBufferCeiling)) {
            commLog->LogError("Failed to allocate memory for %lu bytes of sequential data",
                              static_cast<unsigned long>(received.Used()) + bytes);
            return kOutOfMemory;
        }
        int32_t result = RequestChunk(first, count, received.Data() + received.Used());
        if (result != RETCODE_OK) return result;
        result = StepProgress();
        if (result != RETCODE_OK) return result;
        received.Add(bytes);
        first += count;
    }
    *size = received.Used();
    *buffer = received.Release();
    commLog->LogInfo("Successfully retrieved sequential data (%lu bytes)", static_cast<unsigned long>(*size));
    return RETCODE_OK;
}

}  // namespace tallyx
