#include "comm/port_link.h"

#include <chrono>
#include <thread>

#include <strings.h>

#include <tallyx/tallyx.h>

#include "device/device_statistics.h"
#include "comm/comm_log.h"
#include "comm/serial_port.h"
#include "comm/usb_port.h"

namespace tallyx {

PortLink::PortLink() = default;

// Only closes: the comm log may already be gone when the context ends.
PortLink::~PortLink() {
    if (port_ && port_->IsOpen()) port_->Close();
}

void PortLink::SetTimeouts(uint32_t sendMs, uint32_t peekMs, uint32_t receiveMs) {
    sendTimeoutMs_ = sendMs;
    peekTimeoutMs_ = peekMs;
    receiveTimeoutMs_ = receiveMs;
}

void PortLink::GetTimeouts(uint32_t* sendMs, uint32_t* peekMs, uint32_t* receiveMs) const {
    if (sendMs != nullptr) *sendMs = sendTimeoutMs_;
    if (peekMs != nullptr) *peekMs = peekTimeoutMs_;
    if (receiveMs != nullptr) *receiveMs = receiveTimeoutMs_;
}

int32_t PortLink::OpenPort(const char* name, int32_t baudRate, int32_t dataBits, int32_t parity, int32_t stopBits) {
    ClosePort();
    if (name == nullptr) name = "";
    if (strncasecmp(name, "USBX", 4) == 0) {
        port_ = std::make_unique<UsbPort>();
        if (commLog_) commLog_->LogInfo("Opening USB port %s", name);
    } else if (strncasecmp(name, "COM", 3) == 0) {
        port_ = std::make_unique<SerialPort>();
        if (commLog_) commLog_->LogInfo("Opening RS232 port %s", name);
    } else {
        if (commLog_) commLog_->LogError("Invalid port specified %s", name);
        return RETCODE_ERR_CANTOPENPORT;
    }

    uint32_t result = port_->Open(name, 0, 0, true);
    if (result != 0) return FailOpening("open port", name, result, RETCODE_ERR_CANTOPENPORT);

    if (commLog_) {
        commLog_->LogInfo("Setting up %s (Baud=%d. DataBits=%d. Parity=%d. StopBits=%d)", name, baudRate, dataBits,
                          parity, stopBits);
    }
    baudRate_ = baudRate > 0 ? static_cast<uint32_t>(baudRate) : 0;
    result = port_->Configure(static_cast<uint32_t>(baudRate), static_cast<uint8_t>(dataBits), parity,
                              static_cast<uint8_t>(stopBits));
    if (result != 0) return FailOpening("set up", name, result, RETCODE_ERR_CANTCONFIGPORT);

    if (commLog_) commLog_->LogInfo("Turning off handshaking for %s", name);
    result = port_->SetHandshaking(0);
    if (result != 0) return FailOpening("turn off handshaking for", name, result, RETCODE_ERR_CANTCONFIGPORTHS);
    return RETCODE_OK;
}

int32_t PortLink::FailOpening(const char* step, const char* name, uint32_t result, int32_t code) {
    if (commLog_) {
        commLog_->LogError("Failed to %s %s. ErrorCode=%d. PortErrorCode=%d", step, name, static_cast<int>(result),
                           static_cast<int>(port_->TakeLineErrors()));
    }
    ClosePort();
    return code;
}

void PortLink::ClosePort() {
    if (!port_) return;
    if (port_->IsOpen()) port_->Close();
    port_.reset();
}

int32_t PortLink::Send(const uint8_t* data, uint32_t length) {
    if (!port_) return RETCODE_ERR_PORTCLOSED;
    // Whatever is still waiting belongs to an earlier exchange.
    port_->Purge();
    uint32_t written = 0;
    uint32_t result = port_->Write(data, length, &written, nullptr, sendTimeoutMs_);
    if (result == 0 && written == length) {
        if (statistics_) statistics_->bytesSent += written;
        if (commLog_) commLog_->Dump("OUT", data, written, 2);
        return RETCODE_OK;
    }
    if (commLog_) commLog_->LogError("Error writing to serial port (ErrCode=%ld)", static_cast<long>(result));
    return RETCODE_ERR_SENDINGDATA;
}

uint32_t PortLink::DiscardUntilQuiet(uint32_t quietMs, uint32_t limitMs) {
    if (!port_) return 0;
    uint32_t dropped = 0;
    uint8_t scrap[512];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        // A time-out is the quiet looked for; any other failure means the line is gone.
        if (port_->WaitForEvent(nullptr, quietMs) != 0) break;
        const uint32_t events = port_->TakeEvents();
        if ((events & kEventError) != 0) break;
        if ((events & kEventRxChar) == 0) continue;
        uint32_t got = 0;
        const uint32_t result = port_->Read(scrap, sizeof scrap, &got, nullptr, peekTimeoutMs_);
        if (got > sizeof scrap) got = sizeof scrap;
        if (statistics_) statistics_->bytesReceived += got;
        if (got > 0 && commLog_) commLog_->Dump("IN", scrap, got, 1);
        dropped += got;
        if (result != 0 && result != kErrorTimeout) break;
    }
    return dropped;
}

int32_t PortLink::ReceiveExact(uint8_t* buffer, uint32_t capacity, uint32_t* received, uint32_t wanted) {
    uint32_t count = 0;
    if (received != nullptr) *received = 0;
    if (!port_) return RETCODE_ERR_PORTCLOSED;
    if (wanted > capacity) wanted = capacity;
    if (buffer == nullptr) wanted = 0;

    // Takes what has arrived; a read that times out still delivers its bytes.
    auto take = [&]() -> bool {
        uint32_t got = 0;
        uint32_t result = port_->Read(buffer + count, wanted - count, &got, nullptr, peekTimeoutMs_);
        if (result != 0 && result != kErrorTimeout) {
            if (commLog_) commLog_->LogError("Error reading serial port (ErrCode=%ld)", static_cast<long>(result));
            return false;
        }
        if (got > wanted - count) got = wanted - count;
        if (statistics_) statistics_->bytesReceived += got;
        if (got > 0 && commLog_) commLog_->Dump("IN", buffer + count, got, 2);
        count += got;
        if (received != nullptr) *received = count;
        return true;
    };

    if (wanted > 0 && !take()) return RETCODE_ERR_READ;
    while (count < wanted) {
        uint32_t result = port_->WaitForEvent(nullptr, receiveTimeoutMs_);
        if (result != 0) {
            if (commLog_) {
                commLog_->LogError("Error waiting for serial port events (ErrCode=%ld)", static_cast<long>(result));
            }
            return RETCODE_ERR_READ;
        }
        uint32_t events = port_->TakeEvents();
        if ((events & kEventError) != 0) {
            if (commLog_) {
                commLog_->LogError("Received serial port error event (ErrEvent=%ld)",
                                   static_cast<long>(port_->TakeLineErrors()));
            }
            return RETCODE_ERR_READ;
        }
        if ((events & kEventRxChar) == 0) continue;
        LetBytesArrive(wanted - count);
        if (!take()) return RETCODE_ERR_READ;
    }
    return RETCODE_OK;
}

void PortLink::LetBytesArrive(uint32_t remaining) const {
    // A serial line delivers its bytes one at a time: reading each as it comes
    // costs a wake-up per byte. When a good part of a block is still to come,
    // wait for as many bytes as the line can carry in a short while; they
    // cannot arrive sooner, so the block is not complete any later for it.
    constexpr uint32_t kSmallestBatch = 32;
    constexpr uint32_t kLongestWaitUs = 20000;
    if (baudRate_ == 0 || remaining < kSmallestBatch) return;
    const uint64_t microseconds = uint64_t{remaining} * 10 * 1000000 / baudRate_;
    const uint64_t wait = microseconds < kLongestWaitUs ? microseconds : kLongestWaitUs;
    // A fast line (or a pseudo-terminal) has them all there already.
    if (wait < 500) return;
    std::this_thread::sleep_for(std::chrono::microseconds(wait));
}

int32_t PortLink::ReceiveUntil(uint8_t* buffer, uint32_t capacity, uint32_t* received, uint8_t terminator) {
    uint32_t count = 0;
    if (received != nullptr) *received = 0;
    if (!port_) return RETCODE_ERR_PORTCLOSED;
    while (count < capacity) {
        uint32_t got = 0;
        int32_t result = ReceiveExact(buffer + count, capacity - count, &got, 1);
        if (result != RETCODE_OK) return result;
        count += got;
        if (received != nullptr) *received = count;
        if (got > 0 && buffer[count - 1] == terminator) break;
    }
    return RETCODE_OK;
}

}  // namespace tallyx
