#include "platform/port_texts.h"

namespace tallyx {

const PortTexts& SystemPortTexts() {
    static const PortTexts texts{
        "COM3, 3, \\\\.\\COM12 or USBX1",
        "COM<n> is the system's own port \\\\.\\COM<n>, as Device Manager lists it under Ports (COM & LPT); a "
        "USB-serial adapter is a COM port like any other.",
        "The device path \\\\.\\COM12 is COM12.",
        "that Device Manager shows the port under Ports (COM & LPT) without a warning sign",
    };
    return texts;
}

}  // namespace tallyx
