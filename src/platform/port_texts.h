#pragma once
// How this system's users name serial ports, in the words of help texts and messages: a
// Windows user gives COM3 or \\.\COM12 and looks in Device Manager, a Linux user gives
// /dev/ttyUSB0 and belongs to the dialout group.
namespace tallyx {

struct PortTexts {
    // The forms a port argument takes, for "give ..." in a message:
    // "COM3, 3, USBX1 or a device path such as /dev/ttyUSB0".
    const char* forms;
    // What COM<n> is on this system, in a sentence.
    const char* mapping;
    // How a device path given for a port is read, in a sentence.
    const char* devicePath;
    // What to check, besides the name and other programs, when a port cannot be opened.
    const char* access;
};

const PortTexts& SystemPortTexts();

}  // namespace tallyx
