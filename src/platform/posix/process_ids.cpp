#include "platform/process_ids.h"

#include <unistd.h>

namespace tallyx {

int32_t CurrentProcessId() { return static_cast<int32_t>(getpid()); }

int32_t CurrentThreadId() { return static_cast<int32_t>(gettid()); }

}  // namespace tallyx
