#pragma once
// The reader's own daily log file, tallyread_YYYY-MM-DD.log in the log folder.
#include <cstdarg>
#include <string>

namespace tallyx {

struct LocalTimestamp {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The local date and time now, to the millisecond.
LocalTimestamp CurrentLocalTime();

class ReaderLog {
public:
    using Clock = LocalTimestamp (*)();

    // `folder` is the log folder; it is created when the first line needs it.
    explicit ReaderLog(std::string folder, Clock clock = &CurrentLocalTime);

    void Info(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Warning(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const std::string& Folder() const { return folder_; }

    // The file that a line written at `when` goes to.
    std::string FilePathFor(const LocalTimestamp& when) const;

private:
    void Write(const char* level, const char* format, va_list args);

    std::string folder_;
    Clock clock_;
};

}  // namespace tallyx
