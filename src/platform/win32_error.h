#pragma once
// Windows system error numbers. Ports report failures with these numbers
// because callers and the log show them; the translation from errno values
// lives here and nowhere else.
#include <cstdint>

namespace tallyx {

constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorWriteFault = 29;
constexpr uint32_t kErrorReadFault = 30;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorIoPending = 997;
constexpr uint32_t kErrorDllInitFailed = 1114;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorNotFound = 1168;
constexpr uint32_t kErrorAlreadyInitialized = 1247;
constexpr uint32_t kErrorTimeout = 1460;
// The COM result "invalid argument", returned for an unknown mode.
constexpr uint32_t kErrorInvalidArg = 0x80070057u;

// A time-out value meaning "wait without limit".
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// The Windows error number that stands for an errno value:
// ENOENT, ENODEV, ENXIO -> 2; EACCES, EPERM, EBUSY -> 5; EINVAL -> 87;
// EIO -> 1117; ENOMEM -> 8; ETIMEDOUT -> 1460; anything else -> 31.
uint32_t Win32ErrorFromErrno(int error);

}  // namespace tallyx
