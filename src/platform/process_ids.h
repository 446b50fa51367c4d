#pragma once
// Ids of the running process and of the calling thread, as 32-bit numbers for log lines.
#include <cstdint>

namespace tallyx {

int32_t CurrentProcessId();
int32_t CurrentThreadId();

}  // namespace tallyx
