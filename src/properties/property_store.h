#pragma once
// The named text properties of one context: every value starts at its default,
// the caller's writes are checked and converted from the caller's units, and
// values are copied out into caller buffers. The library itself uses the store
// with full rights (fromCaller false): no access or validity checks and no unit
// conversion.
#include <array>
#include <cstdint>
#include <memory>

#include "properties/property_descriptor.h"
#include "time/date_time.h"

namespace tallyx {

// A key of a counter's protocol (an answer's echo, a command, a tag) and the
// property it stands for.
struct KeyedProperty {
    const char* key;
    const char* property;
};

class PropertyStore {
public:
    // The largest value Set accepts, terminating null included.
    static constexpr uint32_t kWorkingSize = 1024;

    PropertyStore();
    ~PropertyStore();

    PropertyStore(const PropertyStore&) = delete;
    PropertyStore& operator=(const PropertyStore&) = delete;

    // Returns 0 or a RETCODE_ERR_ code; on any error the stored value is left
    // as it was. A value longer than the property keeps is cut without error.
    int32_t Set(const char* name, const char* value, bool fromCaller);
    // Copies the value with its null into buffer (bufferSize bytes). The buffer
    // is untouched when the stored value does not fit; when a unit conversion
    // does not fit, it holds a shortened, terminated text and -101 is returned.
    int32_t Get(const char* name, char* buffer, uint32_t bufferSize, bool fromCaller) const;

    // The value as stored, without checks or conversion; "" for an unknown
    // name. The text lives in a per-thread buffer that the next call overwrites.
    const char* Text(const char* name) const;
    // Text(name) read the way atol reads it, saturating at the 32-bit limits.
    int32_t Number(const char* name) const;
    // The stored value read as a date and time (the zero time when it does not parse).
    DateTime Time(const char* name) const;
    // Whether the caller works in metric units.
    bool IsMetric() const;

    // Port settings: the platform's codes, or -1 for a value the port cannot take.
    int32_t BaudRate() const;
    int32_t DataBits() const;
    int32_t Parity() const;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int32_t StopBits() const;  // 0 one, 1 one and a half, 2 two

private:
    const char* Stored(const PropertyDescriptor& descriptor) const { return values_[descriptor.index].get(); }
    const char* StoredByName(const char* name) const;

    std::array<std::unique_ptr<char[]>, kPropertyCount> values_;
};

}  // namespace tallyx
