#include "log/log_console_target.h"

namespace tallyx {

LogConsoleTarget::LogConsoleTarget(bool toStandardError) : stream_(toStandardError ? stderr : stdout) {}

void LogConsoleTarget::GetName(char* buffer, size_t size) const { CopyName("Log Console Target", buffer, size); }

int32_t LogConsoleTarget::Write(const LogRecord& record) {
    if (!Accept(record)) {
        return 0;
    }
    char line[kLineSize];
    size_t length = FormatLine(line, sizeof line, record);
    if (length >= 2 && line[length - 2] == '\r' && line[length - 1] == '\n') {
        line[length - 2] = '\n';
        --length;
    }
    // Written as plain bytes: a "%" in the message is printed as it is.
    if (length == 0 || std::fwrite(line, 1, length, stream_) != length) {
        return kLogWriteFailed;
    }
    std::fflush(stream_);
    return 0;
}

}  // namespace tallyx
