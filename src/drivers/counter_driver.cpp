#include "drivers/counter_driver.h"

#include <chrono>
#include <cstdio>
#include <string_view>
#include <thread>

#include "comm/comm_log.h"
#include "comm/comm_port.h"
#include "comm/port_link.h"
#include "properties/port_name.h"
#include "properties/property_store.h"
#include "properties/text_checks.h"
#include "time/date_time.h"

namespace tallyx {

CounterDriver::CounterDriver(const CounterModelInfo& model, const DriverParts& parts, const Rules& rules)
    : DeviceDriver(parts), model_(model), rules_(rules) {}

template <class Run>
int32_t CounterDriver::RunAction(const char* attempting, const char* succeeded, Run run) {
    commLog->LogInfo("%s", attempting);
    progressStep = 0;
    LoadRequestDelay();
    char action[PropertyStore::kWorkingSize];
    int32_t result = properties->Get(PROPERTY_TALLYX_READWRITEACTION, action, sizeof action, false);
    if (result == RETCODE_OK) result = run(action);
    if (result != RETCODE_OK) return result;
    commLog->LogInfo("%s", succeeded);
    return RETCODE_OK;
}

int32_t CounterDriver::Read() {
    values->Clear();
    return RunAction("Attempting to read the device...", "Read device was successful", [this](const char* action) {
        if (EqualsIgnoreCase(action, TALLYX_READACTION_DEVICEINFO)) return ReadDeviceInfo();
        if (action[0] != '\0' && !EqualsIgnoreCase(action, TALLYX_READACTION_ALL)) return InvalidAction(action);
        const int32_t result = ReadEverything();
        if (result == RETCODE_OK) {
            WriteDocument([this](DumpDocumentBuilder& builder) { builder.WriteProcessed(*properties, *values); });
        }
        return result;
    });
}

int32_t CounterDriver::Write() {
    return RunAction("Attempting to write the device...", "Write device was successful", [this](const char* action) {
        const bool program = action[0] == '\0' || EqualsIgnoreCase(action, TALLYX_WRITEACTION_PROGRAMSTUDY);
        int32_t result = program ? CheckStudyBeforeSending() : RETCODE_OK;
        if (result == RETCODE_OK) result = ReadDeviceInfo();
        if (result == RETCODE_OK) result = CheckUnitType();
        if (result != RETCODE_OK) return result;
        if (program) {
            result = CheckBattery();
            if (result == RETCODE_OK) result = values->ValidateStudy();
            return result == RETCODE_OK ? ProgramStudy() : result;
        }
        if (EqualsIgnoreCase(action, TALLYX_WRITEACTION_STARTBATTERYDISCHARGE)) return SetBatteryDischarge(true);
        if (EqualsIgnoreCase(action, TALLYX_WRITEACTION_STOPBATTERYDISCHARGE)) return SetBatteryDischarge(false);
        return InvalidAction(action);
    });
}

int32_t CounterDriver::InvalidAction(const char* action) {
    commLog->LogError("Invalid property value specified for property %s (%s)", "PROPERTY_TALLYX_READWRITEACTION",
                      action);
    return RETCODE_ERR_INVALIDPROPERTYVALUE;
}

int32_t CounterDriver::FirstValue(const char* dataType, const char* format, char* buffer, uint32_t bufferSize) {
    return values->FirstValue(dataType, format, buffer, bufferSize);
}

int32_t CounterDriver::NextValue(char* buffer, uint32_t bufferSize) { return values->NextValue(buffer, bufferSize); }

void CounterDriver::LoadRequestDelay() {
    const int32_t delay = properties->Number(PROPERTY_COMM_WAITBETWEENREQSMS);
    requestDelayMs = delay > 0 ? static_cast<uint32_t>(delay) : 0;
}

int32_t CounterDriver::SendBytes(const char* bytes, uint32_t length, uint32_t shown) {
    if (CommPort* port = link->Port()) port->Purge();
    commLog->LogInfo("Device <= %.*s", static_cast<int>(shown), bytes);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes);
    const int32_t result = link->Send(data, length);
    if (result != RETCODE_OK) return result;
    commLog->Dump("OUT", data, length, 1);
    return RETCODE_OK;
}

void CounterDriver::Pause(uint32_t milliseconds) const {
    if (milliseconds != 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int32_t CounterDriver::StepProgress() {
    if (progressCallback == nullptr) return RETCODE_OK;
    ++progressStep;
    if (progressCallback(contextHandle, progressStep) == 1) {
        commLog->LogWarning("Operation was aborted by the user!");
        return RETCODE_ABORTED;
    }
    return RETCODE_OK;
}

int32_t CounterDriver::Request(const char* command, Answer& answer) {
    const int32_t result = Attempts(
        [&] {
            answer[0] = '\0';
            return ExchangeOnce(command, answer);
        },
        [] {});
    RequestEnded(command);
    if (result != RETCODE_OK) return result;
    Pause(requestDelayMs);
    return StepProgress();
}

int32_t CounterDriver::Rewake() {
    char name[64];
    PortNameFromProperties(*properties, name, sizeof name);
    commLog->LogInfo("Attempting to wake device up...");
    const int32_t result = link->OpenPort(name, properties->BaudRate(), properties->DataBits(),
                                          properties->Parity(), properties->StopBits());
    if (result != RETCODE_OK) {
        commLog->LogInfo("Failed to open port %s: Error=%ld", name, static_cast<long>(result));
        return result;
    }
    if (const int32_t woken = ReceiveWakeUp(); woken != RETCODE_OK) return woken;
    commLog->LogInfo("Successfully woke the device up!");
    return RETCODE_OK;
}

int32_t CounterDriver::CheckUnitType() {
    // The unit type must carry the name of the model the counter announced.
    const std::string_view unitType = properties->Text(PROPERTY_DEV_UNITTYPE);
    return unitType.find(model_.name) != std::string_view::npos ? RETCODE_OK : RETCODE_ERR_BADUNITTYPE;
}

int32_t CounterDriver::CheckBattery() {
    int32_t percent = 0;
    if (const int32_t result = ReadBatteryPercent(percent); result != RETCODE_OK) return result;
    // Compared as unsigned numbers: an end before the begin is a very long study.
    const uint32_t days = static_cast<uint32_t>(
        DateTime::DiffSeconds(properties->Time(PROPERTY_STUDY_ENDDATETIME),
                              properties->Time(PROPERTY_STUDY_BEGINDATETIME)) / 86400);
    const uint32_t p = static_cast<uint32_t>(percent);
    const bool mayNotLast = p <= 15 || (p <= 30 && days >= 2) || (p <= 50 && days >= 3) || (p <= 75 && days >= 6) ||
                            days >= 22;
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
    if (rules_.promptIdleMs == 0 || waited <= rules_.promptIdleMs) return RETCODE_OK;
    commLog->LogInfo("Device stayed idle for too long (%lu sec) and needs to be reawaken",
                     static_cast<unsigned long>(waited / 1000));
    const int32_t result = Rewake();
    if (result != RETCODE_OK) {
        commLog->LogError("Failed to wake device up after long prompt callback");
        return result;
    }
    return RETCODE_OK;
}

int32_t CounterDriver::ProgramStudy() {
    bool warned = false;
    const int32_t result = Attempts([this] { return ProgramOnce(); },
                                    [&] {
                                        if (!warned) {
                                            commLog->LogWarning("EraseFlash/WriteStudy failed! Retrying in %lu ms",
                                                                static_cast<unsigned long>(requestDelayMs));
                                        }
                                        warned = true;
                                    });
    if (result == RETCODE_OK) {
        if (rules_.dumpsStudySettings) {
            WriteDocument([this](DumpDocumentBuilder& builder) { builder.WriteStudySettings(*properties); });
        }
        return RETCODE_OK;
    }
    // The caller asked to stop: the counter is not programmed again.
    if (result == RETCODE_ABORTED) return result;
    commLog->LogError(rules_.programFailed, static_cast<unsigned>(rules_.attempts));
    return result;
}

int32_t CounterDriver::ReserveBlock(RecordBuffer& buffer, uint32_t bytes, const char* failedMessage) {
    if (buffer.Reserve(bytes)) return RETCODE_OK;
    commLog->LogError(failedMessage, static_cast<unsigned long>(buffer.Length()) + bytes);
    buffer.Free();
    return kOutOfMemory;
}

template <class Fill>
void CounterDriver::WriteDocument(Fill fill) {
    if (commLog->Folder()[0] == '\0') return;
    DumpDocumentBuilder builder([this](const char* text) { commLog->WriteDumpDocument(text); });
    fill(builder);
}

void CounterDriver::WriteRawDocument(const RawRecordLayout& layout, const uint8_t* data, uint32_t length) {
    WriteDocument([&](DumpDocumentBuilder& builder) { builder.WriteRaw(layout, data, length); });
}

}  // namespace tallyx
