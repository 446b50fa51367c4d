#include "api/library_context.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "api/statistics_document.h"
#include "comm/comm_port.h"
#include "drivers/counter_driver.h"
#include "properties/port_name.h"
#include "properties/version_info.h"

namespace tallyx {

namespace {

// ASCII comparison ignoring letter case, independent of the locale.
bool EqualsIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char ca = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 'a' + 'A') : *a;
        char cb = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 'a' + 'A') : *b;
        if (ca != cb) return false;
        if (ca == '\0') return true;
    }
}

// "COMMANDS" and "BYTES" select dumping only when written exactly so; any
// other accepted spelling logs like "OFF".
int32_t DumpLevelOf(const char* level) {
    if (std::strcmp(level, "COMMANDS") == 0) return 1;
    if (std::strcmp(level, "BYTES") == 0) return 2;
    return 0;
}

// What the C locale's isspace and isprint accept; a wake-up line holds nothing else.
bool IsWakeUpCharacter(uint8_t byte) { return (byte >= 0x09 && byte <= 0x0D) || (byte >= 0x20 && byte <= 0x7E); }

constexpr auto kPauseAfterWakeUp = std::chrono::milliseconds(2000);

}  // namespace

LibraryContext::LibraryContext() {
    statistics.Reset();
    marker = kMarker;
}

LibraryContext::~LibraryContext() {
    Disconnect();
    driver.reset();
    commLog.Close();
    marker = 0;
}

int32_t LibraryContext::Connect() {
    driver.reset();
    statistics.Reset();

    std::string folder = properties.Text(PROPERTY_COMM_LOGFOLDER);
    commLog.Configure(folder.c_str(), DumpLevelOf(properties.Text(PROPERTY_COMM_LOGLEVEL)));
    WriteBanner();

    link.SetTimeouts(static_cast<uint32_t>(properties.Number(PROPERTY_COMM_SENDTOUTMS)),
                     static_cast<uint32_t>(properties.Number(PROPERTY_COMM_PEEKTOUTMS)),
                     static_cast<uint32_t>(properties.Number(PROPERTY_COMM_RECVTOUTMS)));
    link.SetStatistics(&statistics);
    link.SetCommLog(&commLog);

    char portName[64];
    PortNameFromProperties(properties, portName, sizeof portName);

    if (promptCallback != nullptr && promptCallback(Handle(), PROMPT_REASON_CONNECT) != 0) {
        commLog.LogWarning("Operation was aborted by the user!");
        return RETCODE_ABORTED;
    }

    int32_t result = link.OpenPort(portName, properties.BaudRate(), properties.DataBits(), properties.Parity(),
                                   properties.StopBits());
    if (result == RETCODE_OK) result = WakeUpAndDetect();
    if (result != RETCODE_OK) {
        Disconnect();
        return result;
    }
    return RETCODE_OK;
}

void LibraryContext::WriteBanner() {
    char banner[256];
    std::snprintf(banner, sizeof banner, "*** %s v.%s ***", LibraryProductName(), LibraryFileVersion().c_str());
    std::string stars(std::strlen(banner), '*');
    commLog.LogInfo("%s", stars.c_str());
    commLog.LogInfo("%s", banner);
    commLog.LogInfo("%s", stars.c_str());
}

int32_t LibraryContext::WakeUpAndDetect() {
    commLog.LogInfo("Waiting for the device to wake up...");

    // One byte more than the answer may hold, so the text always ends in a zero.
    uint8_t answer[kCounterLineCapacity + 1];
    std::memset(answer, 0, sizeof answer);
    uint32_t length = 0;
    for (;;) {
        if (length == kCounterLineCapacity) {
            // A line this long is no wake-up answer; never store past the buffer.
            commLog.LogError("Received invalid wake-up response from the device: %s", answer);
            return RETCODE_ERR_FAILEDTOWAKEUP;
        }
        uint32_t received = 0;
        if (link.ReceiveExact(answer + length, kCounterLineCapacity - length, &received, 1) != RETCODE_OK ||
            received != 1) {
            commLog.LogError("Failed to receive response from the device");
            return RETCODE_ERR_FAILEDTOWAKEUP;
        }
        uint8_t byte = answer[length];
        if (!IsWakeUpCharacter(byte)) {
            answer[length] = 0;
            commLog.LogError("Received invalid wake-up response from the device: %s", answer);
            return RETCODE_ERR_FAILEDTOWAKEUP;
        }
        ++length;
        if (byte == 0x0D) break;
    }

    commLog.Dump("IN", answer, length, 1);
    commLog.LogInfo("Device => %s", answer);

    for (uint32_t i = 0; i < length; ++i) {
        if (answer[i] >= 'a' && answer[i] <= 'z') answer[i] = static_cast<uint8_t>(answer[i] - 'a' + 'A');
    }
    // The table of models knows each model's wake-up line.
    const char* text = reinterpret_cast<const char*>(answer);
    const CounterModelInfo* model = ModelOfWakeUp(text);
    if (model == nullptr) {
        commLog.LogError("Received invalid wake-up response from the device: %s", text);
        return RETCODE_ERR_FAILEDTOWAKEUP;
    }

    commLog.LogInfo("The device was successfully woken up!");
    std::this_thread::sleep_for(kPauseAfterWakeUp);
    if (link.Port() != nullptr) link.Port()->Purge();

    commLog.LogInfo("Detected %s device", model->name);
    driver = CounterDriver::Create(
        *model, DriverParts{progressCallback, promptCallback, Handle(), &link, &properties, &commLog, &statistics});
    return RETCODE_OK;
}

int32_t LibraryContext::Disconnect() {
    link.ClosePort();
    if (promptCallback != nullptr && promptCallback(Handle(), PROMPT_REASON_DISCONNECT) != 0) {
        commLog.LogWarning("Operation was aborted by the user!");
        return RETCODE_ABORTED;
    }
    return RETCODE_OK;
}

int32_t LibraryContext::RunRead() { return driver ? driver->Read() : RETCODE_ERR_PORTCLOSED; }

int32_t LibraryContext::RunWrite() { return driver ? driver->Write() : RETCODE_ERR_PORTCLOSED; }

int32_t LibraryContext::GetPropertyForCaller(const char* name, char* buffer, uint32_t bufferSize) {
    // The statistics document is rebuilt on every read and stored under the
    // property's own name with library rights, whatever letter case was asked for;
    // the read below then applies the caller's rights and case-sensitive name.
    if (EqualsIgnoringCase(name, PROPERTY_DEV_STATISTICS)) {
        char document[kStatisticsDocumentCapacity];
        std::memset(document, 0, sizeof document);
        int32_t built = BuildStatisticsDocument(statistics, document, sizeof document);
        if (built != RETCODE_OK) return built;
        int32_t stored = properties.Set(PROPERTY_DEV_STATISTICS, document, false);
        if (stored != RETCODE_OK) return stored;
    }
    return properties.Get(name, buffer, bufferSize, true);
}

}  // namespace tallyx
