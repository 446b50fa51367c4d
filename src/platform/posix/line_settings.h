#pragma once
// Baud rate, character size, parity and stop bits of a serial device, read and
// written in one step through Linux's arbitrary-rate terminal interface, so
// that rates without a Bnnn constant (14400, 56000, 128000, 256000) can be set
// and a failed change leaves every setting as it was.
//
// This is the only file that includes the kernel's terminal definitions; they
// clash with the C library's <termios.h>, so nothing of them leaks into the
// header.
#include <cstdint>

#include "platform/serial_line.h"

namespace tallyx {

// The speed code of the terminal interface that sets baudRate: its Bnnn
// constant where one exists, else the code for a rate given in bits per second
// (OtherSpeedCode()). False for a rate the port does not offer, 0 included.
bool BaudRateToSpeedCode(uint32_t baudRate, uint32_t* code);
// The rate of a Bnnn constant; 0 for a code that names none.
uint32_t SpeedCodeToBaudRate(uint32_t code);
// The code that says "the rate is given in bits per second".
uint32_t OtherSpeedCode();

// True when the settings can be applied: a rate BaudRateToSpeedCode accepts,
// 5 to 8 data bits, a parity code 0 to 4, and one stop bit, one and a half
// with 5 data bits, or two with 6 to 8 data bits.
bool ValidLineSettings(const LineSettings& settings);

// The settings that terminal control flags (c_cflag) and an output speed in
// bits per second describe.
LineSettings LineSettingsFrom(uint32_t cflag, uint32_t outputSpeed);
// cflag with its speed, character size, parity and stop-bit flags replaced by
// the settings' and every other flag kept; cflag unchanged for a rate
// BaudRateToSpeedCode refuses.
uint32_t ControlFlagsFor(const LineSettings& settings, uint32_t cflag);

// Reads the device's current settings. Returns 0 or an errno value.
int ReadLineSettings(int fd, LineSettings* settings);
// Applies the settings, leaving every other terminal flag as it is. Returns 0,
// EINVAL without touching the device when the settings are not valid, or the
// errno of the failed call.
int WriteLineSettings(int fd, const LineSettings& settings);

}  // namespace tallyx
