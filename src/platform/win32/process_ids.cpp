#include "platform/process_ids.h"

#include <windows.h>

namespace tallyx {

int32_t CurrentProcessId() { return static_cast<int32_t>(GetCurrentProcessId()); }
int32_t CurrentThreadId() { return static_cast<int32_t>(GetCurrentThreadId()); }

}  // namespace tallyx
