// The read operation of the model A driver: the identity, battery and study
// fields, the completion of a running study, and the download of both data
// areas of the counter's flash.
#include <cstdio>
#include <cstring>
#include <string>

#include <tallyx/tallyx.h>

#include "device/device_statistics.h"
#include "comm/comm_log.h"
#include "comm/port_link.h"
#include "drivers/modela/zk110_driver.h"
#include "drivers/modela/zk110_raw_layouts.h"
#include "drivers/modela/zk110_values.h"
#include "drivers/record_buffer.h"
#include "properties/property_store.h"

namespace tallyx {

namespace {

// Finish codes of a study that is still running.
bool IsRunning(int32_t finishCode) { return finishCode >= 11 && finishCode <= 13; }

constexpr ZK110Driver::FieldRequest kFinishCodeField[] = {
    {":R:F", "Attempting to read Study Finish Code field"},
};
constexpr ZK110Driver::FieldRequest kStudyTimeFields[] = {
    {":R:F", "Attempting to read Study Finish Code field"},
    {":R:B", "Attempting to read Study Start field"},
    {":R:E", "Attempting to read Study End field"},
};
constexpr ZK110Driver::FieldRequest kIdentityFields[] = {
    {":R:X:7", "Attempting to read Serial Number field"},
    {":R:X:8", "Attempting to read Unit Type field"},
    {":F", "Attempting to read Firmware Revision field"},
    {":b", "Attempting to read Battery Voltage field"},
};
constexpr ZK110Driver::FieldRequest kChargeField[] = {
    {":J", "Attempting to read Accumulated Charge Register (ACR) field"},
};
constexpr ZK110Driver::FieldRequest kStudySettingFields[] = {
    {":R:X:0", "Attempting to read State field"},
    {":R:X:1", "Attempting to read City field"},
    {":R:X:2", "Attempting to read County field"},
    {":R:X:3", "Attempting to read Street field"},
    {":R:X:4", "Attempting to read Direction field"},
    {":R:X:5", "Attempting to read Speed Limit field"},
    {":R:X:6", "Attempting to read Operator Initials field"},
    {":R:H", "Attempting to read Study Range field"},
    {":R:P", "Attempting to read Study Period field"},
    {":R:C", "Attempting to read Study Length Bins field"},
    {":R:S", "Attempting to read Study Speed Bins field"},
    {":R:Q", "Attempting to read Study Date Encoding flag"},
};

}  // namespace

int32_t ZK110Driver::ReadEverything() {
    int32_t result = ReadDeviceFields(true);
    if (result != RETCODE_OK) return result;

    RecordBuffer sequential;
    result = ReadSequentialPages(sequential);
    if (result != RETCODE_OK) return result;
    result = DecodeDownload(kZK110SequentialRawLayout, sequential, [this](const uint8_t* data, uint32_t length) {
        return Values().DecodeSequential(data, length);
    });
    if (result != RETCODE_OK) return result;

    RecordBuffer periodic;
    result = ReadPeriodicPages(periodic);
    if (result != RETCODE_OK) return result;
    result = DecodeDownload(kZK110PeriodicRawLayout, periodic, [this](const uint8_t* data, uint32_t length) {
        return Values().DecodePeriodic(data, length);
    });
    return result;
}

int32_t ZK110Driver::RequestFields(std::span<const FieldRequest> fields) {
    Answer answer;
    for (const FieldRequest& field : fields) {
        commLog->LogInfo("%s", field.info);
        int32_t result = Request(field.command, answer);
        if (result != RETCODE_OK) return result;
        Values().ParseAnswer(field.command, answer);
    }
    return RETCODE_OK;
}

int32_t ZK110Driver::ReadDeviceFields(bool full) {
    int32_t result;
    if (full) {
        if ((result = RequestFields(kStudyTimeFields)) != RETCODE_OK) return result;
        if (IsRunning(Values().Study().finishCode)) {
            if ((result = CompleteStudy()) != RETCODE_OK) return result;
            if ((result = RequestFields(kFinishCodeField)) != RETCODE_OK) return result;
        }
    }
    if ((result = RequestFields(kIdentityFields)) != RETCODE_OK) return result;
    if (properties->Text(PROPERTY_DEV_BATTERYVOLTAGE)[0] == '\0') {
        // Older units answer ":B" with a raw reading: relabelled, it is
        // parsed like a battery answer.
        commLog->LogInfo("Attempting to read Battery Voltage (legacy) field");
        Answer answer;
        if ((result = Request(":B", answer)) != RETCODE_OK) return result;
        if (std::strlen(answer) >= 2) {
            answer[0] = ':';
            answer[1] = 'b';
        }
        Values().ParseAnswer(":B", answer);
    }
    if ((result = RequestFields(kChargeField)) != RETCODE_OK) return result;
    if (full && (result = RequestFields(kStudySettingFields)) != RETCODE_OK) return result;
    return RETCODE_OK;
}

int32_t ZK110Driver::RequestPage(uint32_t chip, uint32_t page, uint8_t* buffer, uint32_t& length) {
    char command[32];
    std::snprintf(command, sizeof command, ":F:X,%u,%u", page, chip);
    const int32_t result = Attempts(
        [&] {
            commLog->LogInfo("Accessing chip:%u page:%u", chip, page);
            int32_t sent = SendCommand(command);
            return sent == RETCODE_OK ? ReceivePage(buffer, length) : sent;
        },
        [&] { commLog->LogWarning("Attempt to access chip:%u page:%u failed. Retrying...", chip, page); });
    if (result != RETCODE_OK) {
        commLog->LogError("All (%d) attempts to access chip:%u page:%u failed!", static_cast<int>(kAttempts), chip,
                          page);
    }
    return result;
}

int32_t ZK110Driver::ReadPages(const char* area, uint32_t firstChip, uint32_t lastChip, uint32_t limit,
                               uint32_t keep, RecordBuffer& data) {
    uint32_t chip = firstChip;
    uint32_t page = kFirstDataPage;
    uint32_t kept = 0;
    const int32_t result = DownloadBlocks(data, [&]() -> int32_t {
        if (page > kLastDataPage && ++chip <= lastChip) page = kFirstDataPage;
        if (chip > lastChip || kept == limit) return RETCODE_OK;
        int32_t fetched = ReserveBlock(data, kZK110PageSize, "Not enough memory for %lu bytes of data");
        uint32_t length = 0;
        if (fetched == RETCODE_OK) fetched = RequestPage(chip, page++, data.End(), length);
        if (fetched != RETCODE_OK) return fetched;
        if (length == 0) {
            commLog->LogInfo("Reading of the %s data pages is done (received an empty page)", area);
            return RETCODE_OK;
        }
        // Only the first `keep` bytes stay; the next page overwrites the rest.
        data.Commit(keep);
        ++kept;
        return RETCODE_OK;
    });
    if (result != RETCODE_OK) return result;
    commLog->LogInfo("Successfully retrieved %s data (%lu bytes)", area, static_cast<unsigned long>(data.Length()));
    return RETCODE_OK;
}

int32_t ZK110Driver::ReadSequentialPages(RecordBuffer& data) {
    commLog->LogInfo("Attempting to read sequential data");
    return ReadPages("sequential", kFirstSequentialChip, kLastSequentialChip, UINT32_MAX, kZK110PageDataSize, data);
}

int32_t ZK110Driver::ReadPeriodicPages(RecordBuffer& data) {
    // One page per period of the study: no more are asked for.
    const StudyFacts& study = Values().Study();
    uint32_t limit = 0;
    const int64_t periodSeconds = int64_t{study.periodMinutes} * 60;
    if (DateTime::Compare(study.end, study.begin) > 0 && periodSeconds > 0) {
        const int64_t seconds = DateTime::DiffSeconds(study.end, study.begin);
        limit = static_cast<uint32_t>(seconds / periodSeconds + (seconds % periodSeconds != 0 ? 1 : 0));
    }
    commLog->LogInfo("Attempting to read periodic data (max %u pages)", limit);
    return ReadPages("periodic", kPeriodicChip, kPeriodicChip, limit, kZK110PageSize, data);
}

int32_t ZK110Driver::CompleteStudy() {
    DateTime end = Values().Study().end;
    end.AddTime(0, 0, 0, -kCompletionLeadSeconds, 0);
    char text[DateTime::kFormatBufferSize];
    end.Format(DTF_DATE | DTF_TIME, text);
    commLog->LogInfo("Trying to complete the study by settings RTC to %s", text);
    int32_t result = SetClock(end);
    if (result != RETCODE_OK) return result;

    commLog->LogInfo("Waiting (%d sec) for the unit to complete the study...", kCompletionLeadSeconds);
    for (int32_t second = 0; second <= kCompletionLeadSeconds; ++second) {
        Pause(completionStepMs);
        result = StepProgress();
        if (result != RETCODE_OK) return result;
    }
    return Rewake();
}

int32_t ZK110Driver::ReceiveWakeUp() {
    // The counter's wake-up text and its carriage return, exactly.
    const std::string expected = std::string(Model().wakeUpText) + '\r';
    // One byte more than is received, so the text is always terminated.
    uint8_t received[kCounterLineCapacity + 1] = {};
    for (uint32_t i = 0; i < expected.size(); ++i) {
        uint32_t count = 0;
        const int32_t result = link->ReceiveExact(received + i, kCounterLineCapacity - i, &count, 1);
        if (result != RETCODE_OK) {
            commLog->LogError("Failed to receive response from the device");
            return result;
        }
        if (received[i] != static_cast<uint8_t>(expected[i])) {
            commLog->LogError("Received invalid wake-up response from the device: %s",
                              reinterpret_cast<const char*>(received));
            return RETCODE_ERR_FAILEDTOWAKEUP;
        }
    }
    return RETCODE_OK;
}

}  // namespace tallyx
