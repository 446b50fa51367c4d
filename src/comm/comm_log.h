#pragma once
// The library's log: leveled messages through the diagnostic logger into
// tallyx_YYYY-MM-DD.log, the traffic hex dump (tallyx_YYYY-MM-DD-com.log) and
// the dump documents (tallyx_YYYY-MM-DD-dump.log), all in one log folder.
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>

namespace tallyx {

class Logger;
class LogFileTarget;

class CommLog {
public:
    static constexpr uint32_t kFolderCapacity = 1024;
    static constexpr uint32_t kMessageCapacity = 10240;

    CommLog();
    ~CommLog();

    CommLog(const CommLog&) = delete;
    CommLog& operator=(const CommLog&) = delete;

    // Applies the log folder and dump level of a new device operation; starts
    // the logger the first time.
    void Configure(const char* folder, int32_t dumpLevel);
    // Writes out every queued message and stops the logger.
    void Close();

    void LogInfo(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void LogWarning(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void LogError(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Hex dump of traffic into the -com file when the dump level reaches level.
    void Dump(const char* label, const uint8_t* data, uint32_t length, int32_t level);
    // Appends text unchanged to the -dump file.
    void WriteDumpDocument(const char* text);

    const char* Folder() const { return folder_.c_str(); }
    int32_t DumpLevel() const { return dumpLevel_; }

private:
    void Log(uint32_t type, const char* format, va_list args);

    std::string folder_;
    std::unique_ptr<Logger> logger_;
    std::unique_ptr<LogFileTarget> target_;
    int32_t dumpLevel_ = 0;
};

}  // namespace tallyx
