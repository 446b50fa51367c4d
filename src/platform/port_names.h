#pragma once
// Which device a serial port name such as "COM3" stands for.
//
// On Windows COM<n> is the system's own device "\\.\COM<n>". Elsewhere:
//
// With the environment variable TALLYX_PORT_DIR set and not empty, COM<n> is
// the entry $TALLYX_PORT_DIR/COM<n> (a device node or a symlink to one) and
// nothing else is a COM port; a missing entry is a port that does not exist.
//
// Otherwise COM numbers map to the serial devices Linux names by driver, in
// blocks of one hundred:
//
//   COM1   .. COM99    ->  /dev/ttyS0   .. /dev/ttyS98    (COMn = ttyS<n-1>)
//   COM100 .. COM199   ->  /dev/ttyUSB0 .. /dev/ttyUSB99  (COMn = ttyUSB<n-100>)
//   COM200 .. COM299   ->  /dev/ttyACM0 .. /dev/ttyACM99  (COMn = ttyACM<n-200>)
//
// so the first USB-serial adapter is COM100 and the first modem-class USB
// device (CDC ACM) is COM200. COM0, numbers above 299 and names that are not
// "COM" followed by a decimal number without leading zeros name no device.
// The prefix is matched ignoring letter case.
#include <cstdint>
#include <string>
#include <string_view>

namespace tallyx {

// The number n of a name "COM<n>" (n >= 1, no sign, no leading zeros, at most
// nine digits); false when the name has another form.
bool ParseComPortNumber(std::string_view name, uint32_t* number);

// The device path of the port COM<number>; empty when no device can be it.
std::string PortDevicePath(uint32_t number);

// The device path of a port name "COM<n>"; empty when the name names no port.
std::string PortDevicePath(std::string_view name);

// Whether text has the form of a device path of this system: "\\.\COM12" on Windows, an
// absolute path such as "/dev/ttyUSB0" elsewhere.
bool IsDevicePathForm(std::string_view text);
// The number n, from 1 to highest, of the port COM<n> whose device is at path; 0 when none is.
uint32_t ComNumberOfDevice(const std::string& path, uint32_t highest);

}  // namespace tallyx
