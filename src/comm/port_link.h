#pragma once
// The transfer layer: opens the port named by the properties, sends commands
// and receives answers by count or up to a terminator, each wait bounded by a
// time-out. It counts the traffic and copies it to the comm log; it knows
// nothing of either counter's protocol.
#include <cstdint>
#include <memory>

namespace tallyx {

class CommPort;
class CommLog;
struct DeviceStatistics;

class PortLink {
public:
    PortLink();
    ~PortLink();

    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    void SetTimeouts(uint32_t sendMs, uint32_t peekMs, uint32_t receiveMs);
    void GetTimeouts(uint32_t* sendMs, uint32_t* peekMs, uint32_t* receiveMs) const;
    void SetStatistics(DeviceStatistics* statistics) { statistics_ = statistics; }
    void SetCommLog(CommLog* commLog) { commLog_ = commLog; }

    // 0, -31 (bad name or open failed), -32 (line settings), -33 (handshaking).
    int32_t OpenPort(const char* name, int32_t baudRate, int32_t dataBits, int32_t parity, int32_t stopBits);
    void ClosePort();
    // The open port, or null.
    CommPort* Port() const { return port_.get(); }

    // Purges the port, then writes all bytes: 0, -30 or -40.
    int32_t Send(const uint8_t* data, uint32_t length);
    // Receives wanted bytes (at most capacity); the receive time-out bounds
    // the silence between arrivals. 0, -30 or -50; received is always set.
    int32_t ReceiveExact(uint8_t* buffer, uint32_t capacity, uint32_t* received, uint32_t wanted);
    // Receives up to and including the terminator, or until the buffer is
    // full (0 then too; the caller checks for the terminator). Not
    // zero-terminated.
    int32_t ReceiveUntil(uint8_t* buffer, uint32_t capacity, uint32_t* received, uint8_t terminator);
    // Reads and drops whatever arrives until the line has been quiet for
    // quietMs, for at most limitMs in all; returns the bytes dropped. For
    // answers that come too late to be used: they must not be taken for the
    // answer to a later command.
    uint32_t DiscardUntilQuiet(uint32_t quietMs, uint32_t limitMs);

private:
    // A step of opening the port failed with the port's result: logged with
    // the port's error state, the port closed again, code returned.
    int32_t FailOpening(const char* step, const char* name, uint32_t result, int32_t code);
    // Waits while the next bytes of a block of remaining bytes are on the line.
    void LetBytesArrive(uint32_t remaining) const;

    std::unique_ptr<CommPort> port_;
    uint32_t peekTimeoutMs_ = 1000;
    uint32_t receiveTimeoutMs_ = 10000;
    uint32_t sendTimeoutMs_ = 5000;
    DeviceStatistics* statistics_ = nullptr;
    CommLog* commLog_ = nullptr;
    // The line speed the port was set up with; 0 when unknown.
    uint32_t baudRate_ = 0;
};

}  // namespace tallyx
