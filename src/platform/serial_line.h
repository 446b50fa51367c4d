#pragma once
// A serial line (an RS-232 port, or a USB-serial adapter the system shows as one) opened the
// way a Windows COM port behaves: for reading and writing, held exclusively, 8-bit clean, with
// every blocking step bounded by a time-out. The port interface is built on these few
// operations; each backend implements them with its system's calls. Every operation returns a
// Windows error number (0 on success), since the transfer layer and its log show them.
#include <cstdint>

namespace tallyx {

// The open line; what it holds belongs to the backend.
struct SerialLine;

// Parity and stop-bit codes as the port interface uses them.
enum LineParity : uint8_t { kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3, kParitySpace = 4 };
enum LineStopBits : uint8_t { kStopBitsOne = 0, kStopBitsOneAndHalf = 1, kStopBitsTwo = 2 };
enum FlowControl : int32_t { kFlowNone = 0, kFlowHardware = 1, kFlowSoftware = 2 };

struct LineSettings {
    uint32_t baudRate = 0;
    uint8_t dataBits = 8;
    uint8_t parity = kParityNone;
    uint8_t stopBits = kStopBitsOne;
};

// Opens the port named like "COM3". overlapped asks for requests bounded by time-outs. The
// line starts with empty queues, non-blocking reads and the events EV_RXCHAR, EV_BREAK and
// EV_ERR. A port held by someone else is 5, a missing one 2.
uint32_t OpenSerialLine(const char* name, bool overlapped, SerialLine** line);
// Closes the line and frees it; null is allowed.
void CloseSerialLine(SerialLine* line);

// Line parameters. Writing settings the device refuses changes nothing.
uint32_t ReadSerialLineSettings(SerialLine* line, LineSettings* settings);
uint32_t WriteSerialLineSettings(SerialLine* line, const LineSettings& settings);

// Flow control: none (DTR and RTS held on), hardware or software. A line without modem lines
// is no error with flow control off.
uint32_t SetSerialLineFlowControl(SerialLine* line, int32_t mode);
uint32_t GetSerialLineFlowControl(SerialLine* line, int32_t* mode);

// false: a read returns at once with what has arrived; true: it waits for all it asked for.
uint32_t SetSerialLineReadMode(SerialLine* line, bool blocking);

// The event character and the events a wait reports.
uint32_t SetSerialLineEventChar(SerialLine* line, char ch);
uint32_t SetSerialLineEventMask(SerialLine* line, uint32_t mask);

// Waits up to timeoutMs (0xFFFFFFFF: no limit) until an event of mask happens; its bits go to
// *events. 1460 when the time runs out.
uint32_t WaitSerialLineEvents(SerialLine* line, uint32_t mask, uint32_t timeoutMs, uint32_t* events);

// Reads and writes; *count says how much was transferred, also after a failure.
uint32_t ReadSerialLine(SerialLine* line, void* buffer, uint32_t size, uint32_t* count, uint32_t timeoutMs);
uint32_t WriteSerialLine(SerialLine* line, const void* data, uint32_t size, uint32_t* count, uint32_t timeoutMs);

// Discards what was received and not read and what was not yet sent.
uint32_t PurgeSerialLine(SerialLine* line);

// The line error bits (CE_) collected since the last call; 0 when the device keeps none.
uint32_t TakeSerialLineErrors(SerialLine* line);

}  // namespace tallyx
