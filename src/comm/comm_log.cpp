#include "comm/comm_log.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "log/log_file_target.h"
#include "log/log_record.h"
#include "log/logger.h"
#include "platform/files.h"
#include "time/date_time.h"

namespace tallyx {

namespace {

// Appends text whole to one of the day's files in the log folder, so that other
// processes (or contexts) appending to the same file never split its lines;
// silent on failure, since logging never makes a device operation fail.
void AppendToDayFile(const std::string& folder, const char* suffix, const char* text, size_t length) {
    if (folder.empty()) return;
    DateTime now = DateTime::Now();
    char name[64];
    std::snprintf(name, sizeof name, "%s_%4.4i-%2.2i-%2.2i-%s.log", "tallyx", now.Year, now.Month, now.Day, suffix);
    AppendWholeTextToFile((folder + name).c_str(), text, length);
}

}  // namespace

CommLog::CommLog() = default;

CommLog::~CommLog() { Close(); }

void CommLog::Configure(const char* folder, int32_t dumpLevel) {
    dumpLevel_ = dumpLevel;
    if (!logger_) {
        logger_ = std::make_unique<Logger>();
        logger_->Start(true);
    }
    if (folder != nullptr && folder[0] != '\0') {
        if (!target_) {
            target_ = std::make_unique<LogFileTarget>();
            target_->SetOptions(kLogShowTime | kLogShowType);
            logger_->AddTarget(target_.get());
        }
        folder_.assign(folder, strnlen(folder, kFolderCapacity - 2));
        if (!IsPathSeparator(folder_.back())) folder_ += kPathSeparator;
        target_->Configure(folder_.c_str(), LogFileTarget::kNameDate, "tallyx", LogFileTarget::kNoSizeLimit);
    } else if (target_) {
        // From now on the library's messages go nowhere; the folder stays for
        // the traffic and dump files. What was queued for the file is written
        // out first by stopping the logger, and a fresh one takes over.
        logger_->Stop();
        logger_->RemoveTarget(target_.get());
        target_.reset();
        logger_ = std::make_unique<Logger>();
        logger_->Start(true);
    }
}

void CommLog::Close() {
    if (!logger_) return;
    // Stopping writes out every queued message before the target goes.
    logger_->Stop();
    logger_.reset();
    target_.reset();
}

void CommLog::Log(uint32_t type, const char* format, va_list args) {
    if (!logger_) return;
    thread_local char text[kMessageCapacity];
    std::vsnprintf(text, sizeof text, format, args);
    // Handing the text over as an argument prints any "%" in it unchanged.
    logger_->Log(static_cast<int32_t>(type), 0, "%s", text);
}

void CommLog::LogInfo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Log(0, format, args);
    va_end(args);
}

void CommLog::LogWarning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Log(1, format, args);
    va_end(args);
}

void CommLog::LogError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Log(2, format, args);
    va_end(args);
}

void CommLog::Dump(const char* label, const uint8_t* data, uint32_t length, int32_t level) {
    if (dumpLevel_ < level || folder_.empty()) return;
    DateTime now = DateTime::Now();
    char time[32];
    std::snprintf(time, sizeof time, "%2.2i:%2.2i:%2.2i.%03i", now.Hour, now.Minute, now.Second, now.Milliseconds);
    std::string text = std::string("------ ") + time + " " + (label != nullptr ? label : "") + " ------\n";
    // Lines of up to 80 bytes, ending early after a line feed: the printable
    // characters padded to column 80, " | ", then the bytes in hexadecimal.
    static const char kHex[] = "0123456789abcdef";
    uint32_t offset = 0;
    while (data != nullptr && offset < length) {
        uint32_t count = 0;
        while (count < 80 && offset + count < length) {
            ++count;
            if (data[offset + count - 1] == 0x0A) break;
        }
        char line[83 + 2 * 80 + 2];
        for (uint32_t i = 0; i < 80; ++i) {
            uint8_t byte = i < count ? data[offset + i] : ' ';
            line[i] = (byte >= 32 && byte <= 126) ? static_cast<char>(byte) : (i < count ? '.' : ' ');
        }
        line[80] = ' ';
        line[81] = '|';
        line[82] = ' ';
        for (uint32_t i = 0; i < count; ++i) {
            line[83 + 2 * i] = kHex[data[offset + i] >> 4];
            line[84 + 2 * i] = kHex[data[offset + i] & 0x0F];
        }
        line[83 + 2 * count] = '\n';
        text.append(line, 84 + 2 * count);
        offset += count;
    }
    // The header and its lines go out as one piece.
    AppendToDayFile(folder_, "com", text.data(), text.size());
}

void CommLog::WriteDumpDocument(const char* text) {
    if (text == nullptr) return;
    AppendToDayFile(folder_, "dump", text, std::strlen(text));
}

}  // namespace tallyx
