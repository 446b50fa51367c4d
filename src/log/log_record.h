#pragma once
// One message as it travels from Logger::Log through the queue to the targets.
#include <cstddef>
#include <cstdint>

#include "platform/calendar_time.h"

namespace tallyx {

// Message types: the index into every per-type table of the log.
enum LogType : int32_t {
    kLogInfo = 0,
    kLogWarning = 1,
    kLogError = 2,
    kLogFatal = 3,
};
constexpr int32_t kLogTypeCount = 4;

// Line options: which pieces a target puts in front of the message.
enum LogLineOption : uint32_t {
    kLogShowTime = 0x0002,
    kLogShowDate = 0x0004,
    kLogShowType = 0x0008,
    kLogShowLevel = 0x0010,
    kLogShowSeconds = 0x0040,
    kLogShowThreadId = 0x0080,
    kLogShowProcessId = 0x0100,
};

// Size of a record's text, terminating zero included.
constexpr size_t kLogTextSize = 1024;

struct LogRecord {
    int32_t type = 0;
    uint32_t options = 0;    // the logger's combined line options when the message was taken
    uint32_t level = 0;      // 0 is the most important
    int32_t threadId = 0;    // only filled when some target shows it
    int32_t processId = 0;
    CalendarTime time;       // only filled when some target shows the date or the time
    double seconds = 0.0;    // since the logger started; only filled when some target shows it
    char text[kLogTextSize] = {};  // at most 1023 characters and always a terminating zero
};

// The letter a type shows in a line ("?" for a number outside the table).
const char* LogTypeLetter(int32_t type);

}  // namespace tallyx
