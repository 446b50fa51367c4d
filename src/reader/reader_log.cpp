#include "reader/reader_log.h"

#include <cerrno>
#include <cstdio>

#include "platform/calendar_time.h"
#include "platform/files.h"
#include "reader/program_folders.h"
#include "reader/text_format.h"

namespace tallyx {

namespace {

constexpr size_t kMaxMessageLength = 1023;

}  // namespace

LocalTimestamp CurrentLocalTime() {
    const CalendarTime now = LocalCalendarTimeNow();
    LocalTimestamp stamp;
    stamp.year = now.year;
    stamp.month = now.month;
    stamp.day = now.day;
    stamp.hour = now.hour;
    stamp.minute = now.minute;
    stamp.second = now.second;
    stamp.millisecond = now.milliseconds;
    return stamp;
}

ReaderLog::ReaderLog(std::string folder, Clock clock) : folder_(std::move(folder)), clock_(clock) {
    if (!folder_.empty() && !IsPathSeparator(folder_.back())) folder_ += kPathSeparator;
}

std::string ReaderLog::FilePathFor(const LocalTimestamp& when) const {
    return folder_ + FormatText("%s_%d-%02d-%02d.log", "tallyread", when.year, when.month, when.day);
}

void ReaderLog::Info(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Write("I", format, args);
    va_end(args);
}

void ReaderLog::Warning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Write("W", format, args);
    va_end(args);
}

void ReaderLog::Error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Write("E", format, args);
    va_end(args);
}

void ReaderLog::Write(const char* level, const char* format, va_list args) {
    std::string message = FormatTextV(format, args);
    if (message.size() > kMaxMessageLength) message.resize(kMaxMessageLength);

    // The date of each line picks its file, so a run past midnight goes on in the
    // next day's file. The file is opened and closed for every line; a line that
    // cannot be written is dropped, as the log has nowhere to report itself.
    const LocalTimestamp now = clock_();
    const std::string path = FilePathFor(now);
    std::FILE* file = OpenStdioFile(path, "a");
    if (file == nullptr && errno == ENOENT && EnsureFolder(folder_)) file = OpenStdioFile(path, "a");
    if (file == nullptr) return;
    std::fprintf(file, "[%02d:%02d:%02d.%03d] [%s] [%s]\n", now.hour, now.minute, now.second, now.millisecond, level,
                 message.c_str());
    std::fclose(file);
}

}  // namespace tallyx
