#pragma once
// The target that appends log lines to a text file in a folder. The file's name can carry the
// date, the weekday, the hour and a sequence number, so that a new file is started each day,
// hour or weekday of a weekly cycle, or whenever a file reaches a size limit; a file left from
// an earlier cycle under the same name is deleted and started afresh.
#include <cstddef>
#include <cstdint>
#include <string>

#include "log/log_target.h"
#include "platform/calendar_time.h"
#include "platform/files.h"

namespace tallyx {

class LogFileTarget : public LogTarget {
public:
    // Pieces of the file name, added in the order date, weekday, hour.
    static constexpr uint32_t kNameWeekday = 0x0001;
    static constexpr uint32_t kNameDate = 0x0002;
    static constexpr uint32_t kNameHour = 0x0004;
    static constexpr uint32_t kNameTimeMask = kNameWeekday | kNameDate | kNameHour;
    // Size limit meaning "none": the name then has no sequence number.
    static constexpr uint32_t kNoSizeLimit = 0xFFFFFFFFu;
    // Full file names, folder included, stay below 260 characters; longer ones are not used.
    static constexpr size_t kMaxPathLength = 259;

    LogFileTarget();
    // Flushes and closes the open file.
    ~LogFileTarget() override;

    // Sets where and under which names the lines go; folder and baseName may be null. A folder
    // that does not exist is created (its last level only). The open file stays open until the
    // next write finds that the name has changed.
    void Configure(const char* folder, uint32_t nameOptions, const char* baseName, uint32_t maxSize);

    // "Log File Target", or "Log File Target: <file in use>".
    void GetName(char* buffer, size_t size) const override;

    // Filters the record, makes sure the right file is open, formats the line and appends it.
    // 0 when written or filtered out; kLogWriteFailed when no file could be used.
    int32_t Write(const LogRecord& record) override;

    // The clock that decides the date, weekday and hour of file names and which files are
    // current; the local time unless replaced.
    void SetClock(CalendarClock clock);

    // The full file name for a sequence number (-1 for none) at a given time, or an empty
    // text when it would be too long.
    std::string FileNameFor(int32_t sequence, const CalendarTime& when) const;
    // Full name of the file in use; empty before the first write.
    std::string CurrentFileName() const;
    // Current sequence number: 1 and up with a size limit, -1 without.
    int32_t Sequence() const;
    bool IsFileOpen() const;

private:
    // All of these run with lock_ held.
    std::string BuildNameLocked(int32_t sequence, const CalendarTime& when) const;
    bool IsCurrentLocked(const std::string& name, const CalendarTime& now) const;
    int32_t FindSequenceLocked(int32_t from, const CalendarTime& now) const;
    void DeleteNumberedFilesLocked(const CalendarTime& now) const;
    int32_t PrepareFileLocked();
    int32_t ReopenLocked(const CalendarTime& now);
    void CloseFileLocked();
    int32_t AppendLocked(const char* line, size_t length);

    FileHandle file_ = kNoFile;
    uint32_t maxSize_ = kNoSizeLimit;
    int32_t sequence_ = -1;
    uint32_t nameOptions_ = kNameWeekday;
    std::string folder_;
    std::string currentName_;
    std::string baseName_;
    CalendarClock clock_;
};

}  // namespace tallyx
