#include "platform/posix/line_errors.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace tallyx {

bool ReadLineErrorCounters(int fd, LineErrorCounters* counters) {
    struct serial_icounter_struct icount {};
    if (ioctl(fd, TIOCGICOUNT, &icount) != 0) return false;
    counters->frame = static_cast<uint32_t>(icount.frame);
    counters->overrun = static_cast<uint32_t>(icount.overrun);
    counters->parity = static_cast<uint32_t>(icount.parity);
    counters->brk = static_cast<uint32_t>(icount.brk);
    counters->bufferOverrun = static_cast<uint32_t>(icount.buf_overrun);
    return true;
}

uint32_t LineErrorBits(const LineErrorCounters& before, const LineErrorCounters& after) {
    uint32_t bits = 0;
    if (after.bufferOverrun != before.bufferOverrun) bits |= kLineErrorRxOver;
    if (after.overrun != before.overrun) bits |= kLineErrorOverrun;
    if (after.parity != before.parity) bits |= kLineErrorParity;
    if (after.frame != before.frame) bits |= kLineErrorFrame;
    if (after.brk != before.brk) bits |= kLineErrorBreak;
    return bits;
}

}  // namespace tallyx
