#pragma once
// The base of every place log lines go: the per-type filter and the line layout.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "log/log_record.h"

namespace tallyx {

class Logger;

// Result of a target's Write when the line could not be written.
constexpr int32_t kLogWriteFailed = static_cast<int32_t>(0x80004005u);

class LogTarget {
public:
    static constexpr uint32_t kDefaultOptions = kLogShowType | kLogShowLevel;
    static constexpr uint32_t kDefaultThreshold = 1;
    static constexpr size_t kAffixSize = 20;     // open and close texts, terminating zero included
    static constexpr size_t kLineSize = 1024;    // every target formats into this many characters
    static constexpr size_t kMessagePieceMax = 1021;

    LogTarget();
    virtual ~LogTarget();

    LogTarget(const LogTarget&) = delete;
    LogTarget& operator=(const LogTarget&) = delete;

    // Copies the target's name into buffer, cut to size - 1 characters.
    virtual void GetName(char* buffer, size_t size) const = 0;
    // Filters, formats and writes one record; 0 when done or filtered out, else an error.
    virtual int32_t Write(const LogRecord& record) = 0;

    // Line options (kLogShow... bits). Changing them updates the owning logger.
    void SetOptions(uint32_t options);
    uint32_t Options() const;
    // Texts written before and after each piece of a line; each is cut to 19 characters.
    void SetAffixes(const char* openText, const char* closeText);
    // Highest level of a type that passes. Changing it updates the owning logger.
    void SetThreshold(int32_t type, uint32_t threshold);
    uint32_t Threshold(int32_t type) const;
    // Messages of a type accepted since the target was made (or its file was last opened).
    uint32_t AcceptedCount(int32_t type) const;
    Logger* Owner() const { return owner_.load(); }

    // The filter: true when the record's level is not above the threshold of its type;
    // counts what it lets through.
    bool Accept(const LogRecord& record);

    // Lays out one line: the pieces chosen by the options in a fixed order, each between the
    // open and close texts, then the message between them (that piece cut to 1021 characters),
    // then CR LF. The line never exceeds size - 1 characters and always ends in CR LF.
    // Does nothing when size is 3 or less. Returns the length of the line.
    size_t FormatLine(char* buffer, size_t size, const LogRecord& record) const;

protected:
    // Copies text into a caller's buffer, cut to size - 1 characters.
    static void CopyName(const char* text, char* buffer, size_t size);
    // The caller holds lock_.
    void ResetAcceptedCounts();

    // Guards options, texts, thresholds and counters, and whatever a derived target adds.
    mutable std::mutex lock_;

private:
    friend class Logger;

    void NotifyOwner();

    std::atomic<Logger*> owner_{nullptr};
    uint32_t options_ = kDefaultOptions;
    char openText_[kAffixSize] = "[";
    char closeText_[kAffixSize] = "] ";
    uint32_t thresholds_[kLogTypeCount] = {kDefaultThreshold, kDefaultThreshold, kDefaultThreshold,
                                           kDefaultThreshold};
    uint32_t accepted_[kLogTypeCount] = {};
};

}  // namespace tallyx
