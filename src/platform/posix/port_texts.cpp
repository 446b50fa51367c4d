#include "platform/port_texts.h"

namespace tallyx {

const PortTexts& SystemPortTexts() {
    static const PortTexts texts{
        "COM3, 3, USBX1 or a device path such as /dev/ttyUSB0",
        "With TALLYX_PORT_DIR set, COM<n> is $TALLYX_PORT_DIR/COM<n>; otherwise COM1-99 are /dev/ttyS0-98, "
        "COM100-199 /dev/ttyUSB0-99 and COM200-299 /dev/ttyACM0-99.",
        "A device path such as /dev/ttyUSB0 is turned into the COM name that mapping gives it.",
        "that you may use it (on Debian: the dialout group)",
    };
    return texts;
}

}  // namespace tallyx
