#include "log/log_file_target.h"

#include <climits>
#include <cstdio>
#include <utility>

#include "platform/file_status.h"
#include "platform/files.h"

namespace tallyx {
namespace {

constexpr uint64_t kFourGiB = 0x100000000ull;

const char* const kWeekdays[7] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};

void RemoveLogFile(const std::string& name) {
    // A file that cannot be deleted stays; the open that follows appends to it.
    if (!name.empty()) {
        RemoveFile(name);
    }
}

}  // namespace

LogFileTarget::LogFileTarget() : clock_(LocalCalendarTimeNow) {}

LogFileTarget::~LogFileTarget() {
    std::lock_guard<std::mutex> guard(lock_);
    CloseFileLocked();
}

void LogFileTarget::Configure(const char* folder, uint32_t nameOptions, const char* baseName, uint32_t maxSize) {
    std::string newFolder = folder != nullptr ? folder : "";
    {
        std::lock_guard<std::mutex> guard(lock_);
        folder_ = newFolder;
        nameOptions_ = nameOptions;
        baseName_ = baseName != nullptr ? baseName : "";
        maxSize_ = maxSize;
        sequence_ = maxSize != kNoSizeLimit ? 1 : -1;
    }
    if (!newFolder.empty() && newFolder.size() <= kMaxPathLength) {
        // Only the last level is made. An existing folder is fine, and any other failure shows
        // later as a file that cannot be opened.
        MakeFolder(newFolder);
    }
}

void LogFileTarget::GetName(char* buffer, size_t size) const {
    std::string name = "Log File Target";
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!currentName_.empty()) {
            name += ": " + currentName_;
        }
    }
    CopyName(name.c_str(), buffer, size);
}

int32_t LogFileTarget::Write(const LogRecord& record) {
    if (!Accept(record)) {
        return 0;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        const int32_t prepared = PrepareFileLocked();
        if (prepared != 0) {
            return prepared;
        }
    }
    char line[kLineSize];
    const size_t length = FormatLine(line, sizeof line, record);
    std::lock_guard<std::mutex> guard(lock_);
    return AppendLocked(line, length);
}

void LogFileTarget::SetClock(CalendarClock clock) {
    std::lock_guard<std::mutex> guard(lock_);
    clock_ = std::move(clock);
}

std::string LogFileTarget::FileNameFor(int32_t sequence, const CalendarTime& when) const {
    std::lock_guard<std::mutex> guard(lock_);
    return BuildNameLocked(sequence, when);
}

std::string LogFileTarget::CurrentFileName() const {
    std::lock_guard<std::mutex> guard(lock_);
    return currentName_;
}

int32_t LogFileTarget::Sequence() const {
    std::lock_guard<std::mutex> guard(lock_);
    return sequence_;
}

bool LogFileTarget::IsFileOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return file_ != kNoFile;
}

std::string LogFileTarget::BuildNameLocked(int32_t sequence, const CalendarTime& when) const {
    std::string name = folder_;
    if (!name.empty() && !IsPathSeparator(name.back())) {
        name += kPathSeparator;
    }
    name += baseName_;
    bool somethingBefore = !baseName_.empty();
    char piece[32];
    auto addPiece = [&](const char* text) {
        if (somethingBefore) {
            name += '_';
        }
        name += text;
        somethingBefore = true;
    };
    if (nameOptions_ & kNameDate) {
        std::snprintf(piece, sizeof piece, "%04u-%02u-%02u", unsigned{when.year}, unsigned{when.month},
                      unsigned{when.day});
        addPiece(piece);
    }
    if (nameOptions_ & kNameWeekday) {
        addPiece(kWeekdays[when.dayOfWeek % 7]);
    }
    if (nameOptions_ & kNameHour) {
        std::snprintf(piece, sizeof piece, "%02u", unsigned{when.hour});
        addPiece(piece);
    }
    // The sequence number is added whatever the other pieces: without it every number would
    // name the same file.
    if (sequence != -1) {
        std::snprintf(piece, sizeof piece, "_%lu", static_cast<unsigned long>(static_cast<uint32_t>(sequence)));
        name += piece;
    }
    name += ".log";
    if (name.size() > kMaxPathLength) {
        return std::string();
    }
    return name;
}

bool LogFileTarget::IsCurrentLocked(const std::string& name, const CalendarTime& now) const {
    const FileStatus status = QueryFileStatus(name);
    if (!status.exists) {
        return true;
    }
    if ((nameOptions_ & kNameTimeMask) == 0) {
        return true;
    }
    const CalendarTime created = LocalCalendarTimeAt(status.createdSeconds, status.createdNanoseconds);
    if (created.year != now.year || created.month != now.month || created.day != now.day) {
        return false;
    }
    if ((nameOptions_ & kNameHour) && created.hour != now.hour) {
        return false;
    }
    return true;
}

int32_t LogFileTarget::FindSequenceLocked(int32_t from, const CalendarTime& now) const {
    int32_t n = from < 1 ? 1 : from;
    for (;;) {
        const FileStatus status = QueryFileStatus(BuildNameLocked(n, now));
        if (!status.exists) {
            return n;
        }
        if (status.size < maxSize_ && status.size < kFourGiB) {
            return n;
        }
        if (n == INT32_MAX) {
            return n;
        }
        ++n;
    }
}

void LogFileTarget::DeleteNumberedFilesLocked(const CalendarTime& now) const {
    for (int32_t n = 1; n < INT32_MAX; ++n) {
        const std::string name = BuildNameLocked(n, now);
        if (name.empty() || !RemoveFile(name)) {
            return;
        }
    }
}

int32_t LogFileTarget::PrepareFileLocked() {
    const CalendarTime now = clock_ ? clock_() : LocalCalendarTimeNow();
    const bool limited = maxSize_ != kNoSizeLimit;
    std::string name = BuildNameLocked(sequence_, now);
    if (name.empty()) {
        return kLogWriteFailed;
    }

    if (name != currentName_) {
        // The first write, or the name has changed (a new day, hour or weekday, another folder
        // or base name). A file of the new name from this cycle is continued; one left from an
        // earlier cycle is deleted and started afresh.
        if (limited && !currentName_.empty()) {
            sequence_ = 1;  // numbering starts over with every new name
            name = BuildNameLocked(sequence_, now);
        }
        if (!limited) {
            if (!IsCurrentLocked(name, now)) {
                RemoveLogFile(name);
            }
        } else if (IsCurrentLocked(name, now)) {
            sequence_ = FindSequenceLocked(sequence_, now);
        } else {
            DeleteNumberedFilesLocked(now);
        }
        return ReopenLocked(now);
    }

    if (!IsCurrentLocked(name, now)) {
        // Same name, but the file was started on another day (or in another hour).
        if (!limited) {
            RemoveLogFile(name);
        } else {
            DeleteNumberedFilesLocked(now);
            sequence_ = 1;
        }
        return ReopenLocked(now);
    }

    if (limited) {
        const int32_t found = FindSequenceLocked(sequence_, now);
        if (found != sequence_) {
            sequence_ = found;  // the file in use is full
            return ReopenLocked(now);
        }
    }
    // Keep the open file only while the name still leads to it: another program may have
    // deleted it, or deleted and re-created it, meanwhile.
    if (file_ != kNoFile && QueryOpenFileStatus(file_).SameFileAs(QueryFileStatus(name))) {
        return 0;
    }
    return ReopenLocked(now);
}

int32_t LogFileTarget::ReopenLocked(const CalendarTime& now) {
    CloseFileLocked();
    currentName_ = BuildNameLocked(sequence_, now);
    ResetAcceptedCounts();
    if (currentName_.empty()) {
        return kLogWriteFailed;
    }
    // Appending, created when missing; others may read, write or delete it meanwhile. A file
    // made anew gets its own birth time here, so the current-file test sees the day it was
    // started even when an older file of the same name was just deleted.
    file_ = OpenAppendFile(currentName_);
    return file_ != kNoFile ? 0 : kLogWriteFailed;
}

void LogFileTarget::CloseFileLocked() {
    if (file_ != kNoFile) {
        CloseFile(file_);
        file_ = kNoFile;
    }
}

int32_t LogFileTarget::AppendLocked(const char* line, size_t length) {
    if (length == 0) {
        return kLogWriteFailed;
    }
    if (file_ == kNoFile) {
        return 0;
    }
    // Other processes may append to the same file; the lock keeps lines whole.
    if (!AppendWhole(file_, line, length)) {
        return kLogWriteFailed;
    }
    return 0;
}

}  // namespace tallyx
