#include "log/log_target.h"

#include <cstdio>
#include <cstring>

#include "log/logger.h"

namespace tallyx {
namespace {

void CopyCut(char* destination, size_t size, const char* source) {
    if (source == nullptr) {
        source = "";
    }
    const size_t length = strnlen(source, size - 1);
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}

// Appends a formatted piece; the buffer never grows beyond size - 1 characters.
template <typename... Args>
void AppendFormatted(char* buffer, size_t size, size_t& length, const char* format, Args... args) {
    const size_t room = size - length;  // at least 1: the terminating zero's place
    const int written = std::snprintf(buffer + length, room, format, args...);
    if (written <= 0) {
        buffer[length] = '\0';
        return;
    }
    length += static_cast<size_t>(written) < room ? static_cast<size_t>(written) : room - 1;
}

}  // namespace

LogTarget::LogTarget() = default;

LogTarget::~LogTarget() = default;

void LogTarget::SetOptions(uint32_t options) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        options_ = options;
    }
    NotifyOwner();
}

uint32_t LogTarget::Options() const {
    std::lock_guard<std::mutex> guard(lock_);
    return options_;
}

void LogTarget::SetAffixes(const char* openText, const char* closeText) {
    std::lock_guard<std::mutex> guard(lock_);
    CopyCut(openText_, kAffixSize, openText);
    CopyCut(closeText_, kAffixSize, closeText);
}

void LogTarget::SetThreshold(int32_t type, uint32_t threshold) {
    if (type < 0 || type >= kLogTypeCount) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        thresholds_[type] = threshold;
    }
    NotifyOwner();
}

uint32_t LogTarget::Threshold(int32_t type) const {
    if (type < 0 || type >= kLogTypeCount) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(lock_);
    return thresholds_[type];
}

uint32_t LogTarget::AcceptedCount(int32_t type) const {
    if (type < 0 || type >= kLogTypeCount) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(lock_);
    return accepted_[type];
}

bool LogTarget::Accept(const LogRecord& record) {
    if (record.type < 0 || record.type >= kLogTypeCount) {
        return false;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (record.level > thresholds_[record.type]) {
        return false;
    }
    ++accepted_[record.type];
    return true;
}

size_t LogTarget::FormatLine(char* buffer, size_t size, const LogRecord& record) const {
    if (buffer == nullptr || size <= 3) {
        return 0;
    }
    buffer[0] = '\0';
    size_t length = 0;
    char message[kMessagePieceMax + 1];
    {
        std::lock_guard<std::mutex> guard(lock_);
        const char* open = openText_;
        const char* close = closeText_;
        const CalendarTime& t = record.time;
        if (options_ & kLogShowDate) {
            AppendFormatted(buffer, size, length, "%s%04d-%02d-%02d%s", open, t.year, t.month, t.day, close);
        }
        if (options_ & kLogShowTime) {
            AppendFormatted(buffer, size, length, "%s%02d:%02d:%02d.%03d%s", open, t.hour, t.minute, t.second,
                            t.milliseconds, close);
        }
        if (options_ & kLogShowType) {
            AppendFormatted(buffer, size, length, "%s%s%s", open, LogTypeLetter(record.type), close);
        }
        if (options_ & kLogShowLevel) {
            AppendFormatted(buffer, size, length, "%sL:%d%s", open, static_cast<int>(record.level), close);
        }
        if (options_ & kLogShowSeconds) {
            AppendFormatted(buffer, size, length, "%sS:%f%s", open, record.seconds, close);
        }
        if (options_ & kLogShowThreadId) {
            AppendFormatted(buffer, size, length, "%sTID:%d%s", open, static_cast<int>(record.threadId), close);
        }
        if (options_ & kLogShowProcessId) {
            AppendFormatted(buffer, size, length, "%sPID:%d%s", open, static_cast<int>(record.processId), close);
        }
        // The message piece, open and close texts included, is cut on its own first.
        const int textLength = static_cast<int>(strnlen(record.text, sizeof record.text));
        std::snprintf(message, sizeof message, "%s%.*s%s", open, textLength, record.text, close);
    }
    AppendFormatted(buffer, size, length, "%s", message);
    if (size - length >= 3) {
        buffer[length++] = '\r';
        buffer[length++] = '\n';
        buffer[length] = '\0';
    } else {
        // No room left: the line gives up its last characters so that it still ends in CR LF.
        buffer[size - 3] = '\r';
        buffer[size - 2] = '\n';
        buffer[size - 1] = '\0';
        length = size - 1;
    }
    return length;
}

void LogTarget::CopyName(const char* text, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return;
    }
    CopyCut(buffer, size, text);
}

void LogTarget::ResetAcceptedCounts() {
    for (uint32_t& count : accepted_) {
        count = 0;
    }
}

void LogTarget::NotifyOwner() {
    if (Logger* owner = owner_.load()) {
        owner->Recompute();
    }
}

}  // namespace tallyx
