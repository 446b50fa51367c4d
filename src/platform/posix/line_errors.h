#pragma once
// Receive errors a serial driver has counted (framing, parity, overrun,
// breaks), turned into the Windows CE_ error bits.
#include <cstdint>

namespace tallyx {

// Windows line error bits.
constexpr uint32_t kLineErrorRxOver = 0x0001;   // CE_RXOVER: input buffer overflow
constexpr uint32_t kLineErrorOverrun = 0x0002;  // CE_OVERRUN: character lost by the hardware
constexpr uint32_t kLineErrorParity = 0x0004;   // CE_RXPARITY
constexpr uint32_t kLineErrorFrame = 0x0008;    // CE_FRAME
constexpr uint32_t kLineErrorBreak = 0x0010;    // CE_BREAK

struct LineErrorCounters {
    uint32_t frame = 0;
    uint32_t overrun = 0;
    uint32_t parity = 0;
    uint32_t brk = 0;
    uint32_t bufferOverrun = 0;
};

// Reads the driver's counters (TIOCGICOUNT). False when the driver keeps none,
// as pseudo-terminals and many USB adapters do.
bool ReadLineErrorCounters(int fd, LineErrorCounters* counters);

// The CE_ bits of every counter that grew from before to after.
uint32_t LineErrorBits(const LineErrorCounters& before, const LineErrorCounters& after);

}  // namespace tallyx
