// The write operation of the model A driver: programming a new study (unit and
// battery checks, validation, erasing the study memory, every setting written
// and read back, the clock, the start) and starting the battery discharge.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <tallyx/tallyx.h>

#include "device/device_statistics.h"
#include "device/device_values.h"
#include "comm/comm_log.h"
#include "comm/port_link.h"
#include "drivers/modela/zk110_driver.h"
#include "properties/property_store.h"
#include "time/date_time.h"

namespace tallyx {

namespace {

// The study settings in the order they are written, with the keys that write
// and read each back.
struct StudySetting {
    const char* property;
    const char* writeKey;
    const char* readKey;
};
constexpr StudySetting kStudySettings[] = {
    {PROPERTY_STUDY_STATE, ":X:0", ":X:0"},        {PROPERTY_STUDY_CITY, ":X:1", ":X:1"},
    {PROPERTY_STUDY_COUNTY, ":X:2", ":X:2"},       {PROPERTY_STUDY_ADDRESS, ":X:3", ":X:3"},
    {PROPERTY_STUDY_LANE, ":X:4", ":X:4"},         {PROPERTY_STUDY_SPEEDLIMIT, ":X:5", ":X:5"},
    {PROPERTY_STUDY_OPERATOR, ":X:6", ":X:6"},     {PROPERTY_STUDY_SPEEDBINS, ":S", ":S"},
    {PROPERTY_STUDY_LENGTHBINS, ":L", ":C"},       {PROPERTY_STUDY_BEGINDATETIME, ":B", ":B"},
    {PROPERTY_STUDY_ENDDATETIME, ":E", ":E"},      {PROPERTY_STUDY_RANGETIME, ":H", ":H"},
    {PROPERTY_STUDY_PERIODTIME, ":P", ":P"},
};

constexpr uint32_t kEraseAttempts = 2;

bool IsTextSetting(const char* name) {
    for (const char* text : {PROPERTY_STUDY_STATE, PROPERTY_STUDY_CITY, PROPERTY_STUDY_COUNTY, PROPERTY_STUDY_ADDRESS,
                             PROPERTY_STUDY_LANE, PROPERTY_STUDY_SPEEDLIMIT, PROPERTY_STUDY_OPERATOR}) {
        if (std::strcmp(name, text) == 0) return true;
    }
    return false;
}

// Every run of decimal digits becomes the same number in upper-case
// hexadecimal; everything else is copied. The output is cut to size.
void HexBinList(const char* text, char* output, uint32_t size) {
    uint32_t used = 0;
    output[0] = '\0';
    while (*text != '\0' && used + 1 < size) {
        if (*text >= '0' && *text <= '9') {
            uint64_t value = 0;
            while (*text >= '0' && *text <= '9') {
                value = value * 10 + static_cast<uint64_t>(*text - '0');
                if (value > UINT32_MAX) value = UINT32_MAX;
                ++text;
            }
            const int written = std::snprintf(output + used, size - used, "%lX", static_cast<unsigned long>(value));
            if (written < 0 || static_cast<uint32_t>(written) >= size - used) {
                output[used] = '\0';
                return;
            }
            used += static_cast<uint32_t>(written);
        } else {
            output[used++] = *text++;
            output[used] = '\0';
        }
    }
}

// Field n (from 0) of a text of fields separated by "_", read as a number.
double UnderscoreField(const char* text, uint32_t n) {
    for (uint32_t i = 0; i < n && text != nullptr; ++i) {
        text = std::strchr(text, '_');
        if (text != nullptr) ++text;
    }
    return text != nullptr ? std::atof(text) : 0.0;
}

}  // namespace

int32_t ZK110Driver::ProgramOnce() {
    int32_t result = EraseFlash();
    if (result == RETCODE_OK) result = WriteStudy();
    return result;
}

int32_t ZK110Driver::ReadBatteryPercent(int32_t& percent) {
    char acr[256];
    int32_t result = properties->Get(PROPERTY_DEV_ACR, acr, sizeof acr, false);
    if (result != RETCODE_OK) return result;

    percent = 0;
    if (acr[0] == '\0') {
        const double volts = std::atof(properties->Text(PROPERTY_DEV_BATTERYVOLTAGE));
        if (volts <= 3.80999999999) percent = 15;
        else if (volts <= 3.92999999999) percent = 30;
        else if (volts <= 4.07999999999) percent = 50;
        else if (volts <= 4.1899999999) percent = 75;
        else if (volts < 4.8) percent = 100;
        else percent = 0;
        commLog->LogInfo("Current battery voltage is %7.2f (%d %%)", volts, static_cast<int>(percent));
    } else {
        const double full = UnderscoreField(acr, 0);
        const double charge = UnderscoreField(acr, 1);
        percent = full > 0.1 ? static_cast<int32_t>(charge / full * 100.0) : 0;
        commLog->LogInfo("Current battery charge is %7.2f (%d %%)", charge, static_cast<int>(percent));
    }
    return RETCODE_OK;
}

int32_t ZK110Driver::EraseFlash() {
    commLog->LogInfo("Attempting to erase flash...");
    Answer answer;
    for (uint32_t attempt = 1;; ++attempt) {
        // Erasing takes the counter a while: its answer gets the long time-out.
        uint32_t sendMs = 0;
        uint32_t peekMs = 0;
        uint32_t receiveMs = 0;
        link->GetTimeouts(&sendMs, &peekMs, &receiveMs);
        const int32_t eraseMs = properties->Number(PROPERTY_COMM_WAITAFTERRESETMS);
        link->SetTimeouts(sendMs, peekMs, eraseMs > 0 ? static_cast<uint32_t>(eraseMs) : 0);
        int32_t result = Request(":X", answer);
        link->SetTimeouts(sendMs, peekMs, receiveMs);
        if (result != RETCODE_OK) return result;

        if (std::strcmp(answer, ":Y") == 0) {
            commLog->LogInfo("Making sure that study FCODE is 0...");
            result = Request(":R:F", answer);
            if (result != RETCODE_OK) return result;
            if (std::strlen(answer) >= 3 && std::atol(answer + 2) == 0) break;
        }
        if (attempt == kEraseAttempts) {
            commLog->LogWarning("Received invalid response from the device");
            return RETCODE_ERR_ERASEMEMORY;
        }
        commLog->LogWarning("Retrying...");
    }
    commLog->LogInfo("Successfully erased flash");
    return RETCODE_OK;
}

int32_t ZK110Driver::PropertyValueText(const char* name, char* text, uint32_t size) {
    char value[PropertyStore::kWorkingSize];
    int32_t result = properties->Get(name, value, sizeof value, false);
    if (result != RETCODE_OK) return result;

    if (IsTextSetting(name)) {
        std::snprintf(text, size, " %s", value);
    } else if (std::strcmp(name, PROPERTY_STUDY_SPEEDBINS) == 0 || std::strcmp(name, PROPERTY_STUDY_LENGTHBINS) == 0) {
        HexBinList(value, text, size);
    } else if (std::strcmp(name, PROPERTY_STUDY_BEGINDATETIME) == 0 ||
               std::strcmp(name, PROPERTY_STUDY_ENDDATETIME) == 0) {
        DateTime time;
        DateTime::Parse(time, value);
        std::snprintf(text, size, "%02d%02d%02d%02d%02d", static_cast<int>(time.Year) - 2000,
                      static_cast<int>(time.Month), static_cast<int>(time.Day), static_cast<int>(time.Hour),
                      static_cast<int>(time.Minute));
    } else if (std::strcmp(name, PROPERTY_STUDY_RANGETIME) == 0) {
        // The range follows from the begin and the end, and is stored as sent.
        const int32_t minutes = DateTime::DiffSeconds(properties->Time(PROPERTY_STUDY_ENDDATETIME),
                                                      properties->Time(PROPERTY_STUDY_BEGINDATETIME)) /
                                60;
        char decimal[16];
        std::snprintf(decimal, sizeof decimal, "%ld", static_cast<long>(minutes));
        properties->Set(PROPERTY_STUDY_RANGETIME, decimal, false);
        std::snprintf(text, size, "%X", static_cast<unsigned>(minutes));
    } else {
        std::snprintf(text, size, "%X", static_cast<unsigned>(properties->Number(name)));
    }
    return RETCODE_OK;
}

int32_t ZK110Driver::WriteProperty(const char* name, const char* writeKey, const char* readKey) {
    char value[PropertyStore::kWorkingSize + 1];
    int32_t result = PropertyValueText(name, value, sizeof value);
    if (result != RETCODE_OK) return result;
    commLog->LogInfo("Writing property: %s=%s", name, value);

    char command[PropertyStore::kWorkingSize + 16];
    std::snprintf(command, sizeof command, ":S%s%s", writeKey, value);
    Answer answer;
    result = Request(command, answer);
    if (result != RETCODE_OK) return result;
    if (std::strcmp(answer, ":Y") != 0) {
        commLog->LogError("Received invalid response to write property command!");
        return RETCODE_ERR_SENDINGDATA;
    }

    commLog->LogInfo("Reading back property %s", name);
    std::snprintf(command, sizeof command, ":R%s", readKey);
    result = Request(command, answer);
    if (result != RETCODE_OK) return result;
    if (std::strstr(answer, value) == nullptr) {
        commLog->LogError("Newly written property value does not match what was supposed to be written!");
        return RETCODE_ERR_CONFIRMATION;
    }
    commLog->LogInfo("Successfully wrote property %s", name);
    return RETCODE_OK;
}

int32_t ZK110Driver::WriteStudy() {
    commLog->LogInfo("Attempting to set the study...");
    for (const StudySetting& setting : kStudySettings) {
        const int32_t result = WriteProperty(setting.property, setting.writeKey, setting.readKey);
        if (result != RETCODE_OK) return result;
    }
    int32_t result = SetClock(DateTime::Now());
    if (result != RETCODE_OK) return result;
    result = WriteValue("EnableReverseBins", ":G", ":G", "N");
    if (result != RETCODE_OK) return result;
    if (WriteValue("EnableSeqRecDateEncoding", ":Q", ":Q", ":s") != RETCODE_OK) {
        commLog->LogWarning(
            "Device did not accept serial record date encoding command. Probably it doesn't support it...");
    }
    commLog->LogInfo("Attempting to start the study...");
    result = SendCommand(":T");
    if (result != RETCODE_OK) return result;
    commLog->LogInfo("Successfully set the study!");
    return RETCODE_OK;
}

int32_t ZK110Driver::SetBatteryDischarge(bool start) {
    // The discharge stops by itself; nothing is sent.
    if (!start) return RETCODE_OK;
    Answer answer;
    const int32_t result = Request(":S:D", answer);
    if (result != RETCODE_OK) return result;
    if (std::strcmp(answer, ":N") == 0) {
        commLog->LogError("This device does not have discharge circuit");
        return RETCODE_ERR_NOTIMPLEMENTED;
    }
    if (std::strcmp(answer, ":Y") == 0) return RETCODE_OK;
    commLog->LogError("Received invalid response from the device to the discharge command");
    return RETCODE_ERR_BADRESPONSE;
}

}  // namespace tallyx
