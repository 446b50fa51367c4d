// The write operation of the model B driver: programming a new study (unit and
// battery checks, validation, then battery discharge off, user area erased,
// clock set, study programmed and user area written, retried as a whole) and
// switching the battery discharge on or off.
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <tallyx/tallyx.h>

#include "api/device_statistics.h"
#include "api/device_values.h"
#include "api/version_info.h"
#include "comm/comm_log.h"
#include "drivers/modelb/zk220_driver.h"
#include "export/xml_writer.h"
#include "properties/property_store.h"
#include "time/date_time.h"

namespace tallyx {

namespace {

constexpr uint32_t kProgramAttempts = 3;
constexpr uint32_t kDocumentCapacity = 1024;

// The elements of the user-area document in their order, after the version.
struct UserAreaField {
    const char* tag;
    const char* property;
};
constexpr UserAreaField kUserAreaFields[] = {
    {"SB", PROPERTY_STUDY_SPEEDBINS}, {"LB", PROPERTY_STUDY_LENGTHBINS}, {"SPL", PROPERTY_STUDY_SPEEDLIMIT},
    {"OP", PROPERTY_STUDY_OPERATOR},  {"ST", PROPERTY_STUDY_STATE},      {"CT", PROPERTY_STUDY_CITY},
    {"CNT", PROPERTY_STUDY_COUNTY},   {"ADDR", PROPERTY_STUDY_ADDRESS},  {"LN", PROPERTY_STUDY_LANE},
};

DateTime PropertyTime(const PropertyStore& properties, const char* property) {
    DateTime time;
    DateTime::Parse(time, properties.Text(property));
    return time;
}

bool AddElement(XmlWriter& writer, const char* tag, const char* text) {
    return writer.OpenElement(tag) && writer.AddText(text) && writer.CloseElement(tag);
}

}  // namespace

int32_t ZK220Driver::Write() {
    progressStep = 0;
    commLog->LogInfo("Attempting to write the device...");
    LoadRequestDelay();

    char action[PropertyStore::kWorkingSize];
    int32_t result = properties->Get(PROPERTY_TALLYX_READWRITEACTION, action, sizeof action, false);
    if (result != RETCODE_OK) return result;
    const bool program = action[0] == '\0' || strcasecmp(action, TALLYX_WRITEACTION_PROGRAMSTUDY) == 0;
    // A study the counter could not give back is refused before anything is sent.
    if (program) {
        result = CheckUserAreaReadable();
        if (result != RETCODE_OK) return result;
    }

    result = ReadDeviceInfo();
    if (result != RETCODE_OK) return result;
    result = CheckUnitType();
    if (result != RETCODE_OK) return result;

    if (program) {
        result = CheckBattery();
        if (result == RETCODE_OK) result = values->ValidateStudy();
        if (result == RETCODE_OK) result = ProgramStudy();
    } else if (strcasecmp(action, TALLYX_WRITEACTION_STARTBATTERYDISCHARGE) == 0) {
        result = SetBatteryDischarge(true);
    } else if (strcasecmp(action, TALLYX_WRITEACTION_STOPBATTERYDISCHARGE) == 0) {
        result = SetBatteryDischarge(false);
    } else {
        commLog->LogError("Invalid property value specified for property %s (%s)", "PROPERTY_TALLYX_READWRITEACTION",
                          action);
        return RETCODE_ERR_INVALIDPROPERTYVALUE;
    }
    if (result != RETCODE_OK) return result;
    commLog->LogInfo("Write device was successful");
    return RETCODE_OK;
}

int32_t ZK220Driver::CheckUnitType() {
    return std::strstr(properties->Text(PROPERTY_DEV_UNITTYPE), "ZK220") != nullptr ? RETCODE_OK
                                                                                     : RETCODE_ERR_BADUNITTYPE;
}

int32_t ZK220Driver::CheckBattery() {
    const uint32_t percent = static_cast<uint32_t>(std::strtoul(properties->Text(PROPERTY_DEV_BATTERYPERCENT), nullptr, 10));
    const double volts = std::strtod(properties->Text(PROPERTY_DEV_BATTERYVOLTAGE), nullptr);
    commLog->LogInfo("Current battery charge percentage is %u (voltage is %7.2f)", static_cast<unsigned>(percent),
                     volts);

    // Compared as unsigned numbers: an end before the begin is a very long study.
    const uint32_t days = static_cast<uint32_t>(
        DateTime::DiffSeconds(PropertyTime(*properties, PROPERTY_STUDY_ENDDATETIME),
                              PropertyTime(*properties, PROPERTY_STUDY_BEGINDATETIME)) / 86400);
    const bool mayNotLast = percent <= 15 || (percent <= 30 && days >= 2) || (percent <= 50 && days >= 3) ||
                            (percent <= 75 && days >= 6) || days >= 22;
    if (!mayNotLast) return RETCODE_OK;
    commLog->LogWarning("Battery may not last for the duration of the study!");
    if (promptCallback == nullptr) return RETCODE_OK;

    const auto asked = std::chrono::steady_clock::now();
    const int32_t answer = promptCallback(contextHandle, PROMPT_REASON_LOWBATTERY);
    const auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked).count();
    if (answer != 0) {
        commLog->LogWarning("Operation was aborted by the user (during check battery callback)!");
        return RETCODE_ABORTED;
    }
    if (waited <= kPromptIdleMs) return RETCODE_OK;
    commLog->LogInfo("Device stayed idle for too long (%lu sec) and needs to be reawaken",
                     static_cast<unsigned long>(waited / 1000));
    const int32_t result = Rewake();
    if (result != RETCODE_OK) {
        commLog->LogError("Failed to wake device up after long prompt callback");
        return result;
    }
    return RETCODE_OK;
}

int32_t ZK220Driver::Command(const char* command) {
    Answer answer;
    const int32_t result = Exchange(command, answer);
    if (result != RETCODE_OK) return result;
    return answer[0] == 'Y' ? RETCODE_OK : RETCODE_ERR_READ;
}

int32_t ZK220Driver::ProgramStudy() {
    int32_t result = RETCODE_OK;
    for (uint32_t attempt = 1; attempt <= kProgramAttempts; ++attempt) {
        result = ProgramOnce();
        if (result == RETCODE_OK) return RETCODE_OK;
        // The caller asked to stop: the counter is not programmed again.
        if (result == RETCODE_ABORTED) return result;
        if (attempt == 1) {
            commLog->LogWarning("EraseFlash/WriteStudy failed! Retrying in %lu ms",
                                static_cast<unsigned long>(requestDelayMs));
        }
        Pause(requestDelayMs);
        ++statistics->commRetries;
    }
    commLog->LogError("All %u retries to set study failed!", static_cast<unsigned>(kProgramAttempts));
    return result;
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
    PropertyTime(*properties, PROPERTY_STUDY_BEGINDATETIME).Format(DTF_DATE | DTF_TIME | DTF_NO_MS, begin);
    PropertyTime(*properties, PROPERTY_STUDY_ENDDATETIME).Format(DTF_DATE | DTF_TIME | DTF_NO_MS, end);
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
    for (const UserAreaField& field : kUserAreaFields) {
        ok = ok && AddElement(writer, field.tag, properties->Text(field.property));
    }
    return ok && writer.CloseElement("TALLYX");
}

int32_t ZK220Driver::CheckUserAreaReadable() {
    for (const UserAreaField& field : kUserAreaFields) {
        const char* text = properties->Text(field.property);
        if (std::strpbrk(text, "<>") != nullptr) {
            commLog->LogError("Property %s contains an angle bracket, which would make the study unreadable",
                              field.property);
            return RETCODE_ERR_INVALIDPROPERTYVALUE;
        }
    }
    char document[kDocumentCapacity];
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
    char document[kDocumentCapacity];
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
