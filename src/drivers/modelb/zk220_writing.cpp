// The write operation of the model B driver: programming a new study (unit and
// battery checks, validation, then battery discharge off, user area erased,
// clock set, study programmed and user area written, retried as a whole) and
// switching the battery discharge on or off.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <tallyx/tallyx.h>

#include "device/device_statistics.h"
#include "device/device_values.h"
#include "properties/version_info.h"
#include "comm/comm_log.h"
#include "drivers/modelb/zk220_driver.h"
#include "export/xml_writer.h"
#include "properties/property_store.h"
#include "time/date_time.h"

namespace tallyx {

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
