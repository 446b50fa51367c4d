#pragma once
// A serial device node opened the way a Windows COM port behaves: for reading
// and writing, non-blocking, held exclusively, in raw mode.
#include <cstdint>

#include "platform/serial_line.h"

namespace tallyx {

// Opens the device at path with O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC,
// takes a non-blocking flock and then TIOCEXCL on it (the ioctl alone races
// between two processes, the lock alone does not keep out programs that do not
// lock), and puts it in raw mode: no echo, no canonical input, no CR/LF
// translation, 8 bits clean, CLOCAL | CREAD, reads that wait for nothing.
// Returns 0 with *fd set, or a Windows error number with *fd -1:
// a device held by someone else is 5 (access denied), a missing one 2, and a
// node with no hardware behind it (EIO on open) also 2.
uint32_t OpenSerialDevice(const char* path, int* fd);

// Gives up the exclusive hold and closes the descriptor.
void CloseSerialDevice(int fd);

// Sets the flow control: none (DTR and RTS raised), hardware (RTS/CTS, lines
// raised) or software (XON/XOFF, DTR and RTS dropped). Returns 0 or an errno
// value; EINVAL for an unknown mode. A device without modem lines is no error.
int SetFlowControl(int fd, int32_t mode);
// Reads the flow control back: hardware when RTS/CTS is on, software when both
// XON and XOFF are on, none otherwise. Returns 0 or an errno value.
int GetFlowControl(int fd, int32_t* mode);

// Raises (on) or drops DTR and RTS. Returns 0 or an errno value; a device
// without modem lines (ENOTTY, EINVAL) counts as success.
int SetModemLines(int fd, bool on);

// Discards everything received and not read and everything not yet sent.
// Returns 0 or an errno value.
int FlushSerialDevice(int fd);

}  // namespace tallyx
