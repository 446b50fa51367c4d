#pragma once
// The target that prints log lines on the console (standard output, or standard error).
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "log/log_target.h"

namespace tallyx {

class LogConsoleTarget : public LogTarget {
public:
    explicit LogConsoleTarget(bool toStandardError = false);

    // "Log Console Target".
    void GetName(char* buffer, size_t size) const override;
    // Filters and formats the record and prints the line as it stands, except that it ends in
    // a plain line feed as console output does here.
    int32_t Write(const LogRecord& record) override;

private:
    FILE* stream_;
};

}  // namespace tallyx
