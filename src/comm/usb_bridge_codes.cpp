#include "comm/usb_bridge_codes.h"

#include "platform/win32_error.h"

namespace tallyx {

uint32_t UsbStatusToWin32(int status) {
    switch (status) {
    case 0:
        return kErrorSuccess;
    case 1:
        return kErrorInvalidHandle;
    case 2:
    case 3:
        return kErrorReadFault;
    case 4:
    case 5:
        return kErrorWriteFault;
    case 6:
    case 7:
    case 9:
        return kErrorInvalidParameter;
    case 8:
        return kErrorIoDevice;
    case 10:
        return kErrorNotSupported;
    case 13:
    case 14:
        return kErrorTimeout;
    case 15:
        return kErrorIoPending;
    case 0xFF:
        return kErrorNotFound;
    default:
        return kErrorGenFailure;
    }
}

uint16_t UsbLineControlWord(uint8_t dataBits, uint8_t parity, uint8_t stopBits) {
    return static_cast<uint16_t>((dataBits << 8) | ((parity & 0x0F) << 4) | (stopBits & 0x0F));
}

}  // namespace tallyx
