#pragma once
// Names of the library's return codes as the reader prints them.
#include <cstdint>
#include <string>

namespace tallyx {

// The name of an error code the reader knows, or "Unknown" for any other code
// (success, the positive codes and -101 included).
const char* ReturnCodeName(int32_t code);

// "NAME (code)", for example "RETCODE_ERR_FAILEDTOWAKEUP (-34)" or "Unknown (-101)".
std::string ReturnCodeText(int32_t code);

}  // namespace tallyx
