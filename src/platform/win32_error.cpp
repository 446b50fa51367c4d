#include "platform/win32_error.h"

#include <cerrno>

namespace tallyx {

uint32_t Win32ErrorFromErrno(int error) {
    switch (error) {
    case 0:
        return kErrorSuccess;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return kErrorFileNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
        return kErrorAccessDenied;
    case EINVAL:
        return kErrorInvalidParameter;
    case EIO:
        return kErrorIoDevice;
    case ENOMEM:
        return kErrorNotEnoughMemory;
    case ETIMEDOUT:
        return kErrorTimeout;
    default:
        return kErrorGenFailure;
    }
}

}  // namespace tallyx
