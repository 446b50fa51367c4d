#pragma once
// The decoded data of one counter model and the walks over it for the value
// export and the dump documents.
#include <cstdint>

#include <tallyx/tallyx.h>

namespace tallyx {

class PropertyStore;
class CommLog;
struct DeviceStatistics;
struct XmlWriter;

// What the whole library returns when memory cannot be had: a value, a record
// buffer or the decoded records that do not fit in what is left.
constexpr int32_t kOutOfMemory = RETCODE_ERR_BUFFERTOOSMALL;

// What a values object works with, lent by the context that owns it: the
// properties it reads the study from and stores decoded answers in, the log,
// and the statistics (any of the last two may be null).
struct ValuesContext {
    PropertyStore* properties;
    CommLog* log;
    DeviceStatistics* statistics;
};

class DeviceValues {
public:
    enum DataKind : int32_t { kNoData = 0, kSequential = 1, kPeriodic = 2 };
    enum Format : int32_t { kNoFormat = 0, kCsv = 1, kXml = 2 };

    explicit DeviceValues(ValuesContext context) : context(context) {}
    virtual ~DeviceValues() = default;

    DeviceValues(const DeviceValues&) = delete;
    DeviceValues& operator=(const DeviceValues&) = delete;

    // Resets the iteration; the model classes also free their decoded data.
    virtual void Clear();
    // Forgets the walk in progress, keeping the data: NextValue then answers
    // RETCODE_ERR_ITERNOTINITIALIZED until the next FirstValue.
    void ResetWalk();
    // Checks the study settings of the properties before programming.
    virtual int32_t ValidateStudy();
    virtual int32_t FirstElement(const char* kind, XmlWriter& writer, bool withRecordNumber) = 0;
    virtual int32_t FirstValue(const char* kind, const char* format, char* buffer, uint32_t size) = 0;
    virtual int32_t NextElement(XmlWriter& writer, bool withRecordNumber) = 0;
    virtual int32_t NextValue(char* buffer, uint32_t size) = 0;

protected:
    ValuesContext context;
    int32_t position = -1;
    int32_t dataKind = kNoData;
    int32_t format = kNoFormat;
    int32_t metricOutput = 1;
};

}  // namespace tallyx
