#include "properties/property_store.h"

#include <cstring>

#include <tallyx/tallyx.h>

#include "properties/property_name_index.h"
#include "properties/property_validation.h"
#include "properties/text_checks.h"
#include "properties/unit_conversion.h"

namespace tallyx {
namespace {

// Copies at most maxLength characters and always terminates.
void CopyCut(char* target, const char* source, uint32_t maxLength) {
    std::size_t length = strnlen(source, maxLength);
    std::memcpy(target, source, length);
    target[length] = '\0';
}

}  // namespace

PropertyStore::PropertyStore() {
    // Building the shared index here means it exists once any context does.
    PropertyNameIndex::Library();
    for (const PropertyDescriptor& descriptor : PropertyDescriptors()) {
        auto value = std::make_unique<char[]>(descriptor.maxLength + 1);
        CopyCut(value.get(), descriptor.defaultValue, descriptor.maxLength);
        values_[descriptor.index] = std::move(value);
    }
}

PropertyStore::~PropertyStore() = default;

int32_t PropertyStore::Set(const char* name, const char* value, bool fromCaller) {
    const PropertyDescriptor* descriptor = PropertyNameIndex::Library().Find(name);
    if (descriptor == nullptr) return RETCODE_ERR_INVALIDPROPERTY;
    if (value == nullptr) value = "";
    if (fromCaller) {
        if ((descriptor->access & kAccessWrite) == 0) return RETCODE_ERR_READONLYPROPERTY;
        int32_t checked = ValidateCallerValue(*descriptor, value);
        if (checked != RETCODE_OK) return checked;
    }
    std::size_t length = strnlen(value, kWorkingSize);
    if (length >= kWorkingSize) return RETCODE_ERR_BUFFERTOOSMALL;

    char working[kWorkingSize];
    std::memcpy(working, value, length + 1);
    if (fromCaller && IsMetric()) {
        int32_t converted = ConvertToStoredUnits(descriptor->units, working, sizeof working);
        if (converted != RETCODE_OK) return converted;
    }
    CopyCut(values_[descriptor->index].get(), working, descriptor->maxLength);
    return RETCODE_OK;
}

int32_t PropertyStore::Get(const char* name, char* buffer, uint32_t bufferSize, bool fromCaller) const {
    const PropertyDescriptor* descriptor = PropertyNameIndex::Library().Find(name);
    if (descriptor == nullptr) return RETCODE_ERR_INVALIDPROPERTY;
    if (fromCaller && (descriptor->access & kAccessRead) == 0) return RETCODE_ERR_READONLYPROPERTY;
    const char* stored = Stored(*descriptor);
    std::size_t length = std::strlen(stored);
    if (buffer == nullptr || length >= bufferSize) return RETCODE_ERR_BUFFERTOOSMALL;
    std::memcpy(buffer, stored, length + 1);
    if (fromCaller && IsMetric()) return ConvertToCallerUnits(descriptor->units, buffer, bufferSize);
    return RETCODE_OK;
}

const char* PropertyStore::StoredByName(const char* name) const {
    const PropertyDescriptor* descriptor = PropertyNameIndex::Library().Find(name);
    return descriptor != nullptr ? Stored(*descriptor) : "";
}

const char* PropertyStore::Text(const char* name) const {
    // Every stored value is shorter than the working size, so nothing is cut.
    thread_local char text[kWorkingSize];
    CopyCut(text, StoredByName(name), kWorkingSize - 1);
    return text;
}

int32_t PropertyStore::Number(const char* name) const { return ParseLong(StoredByName(name)); }

DateTime PropertyStore::Time(const char* name) const {
    DateTime time;
    DateTime::Parse(time, Text(name));
    return time;
}

bool PropertyStore::IsMetric() const {
    return EqualsIgnoreCase(StoredByName(PROPERTY_STUDY_MEASUREMENTUNITS), STUDY_MEASUREMENTUNITS_METRIC);
}

int32_t PropertyStore::BaudRate() const {
    static constexpr int32_t kRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                         19200, 38400, 56000, 57600, 115200, 128000, 256000};
    int32_t rate = Number(PROPERTY_COMM_BAUD);
    for (int32_t known : kRates) {
        if (rate == known) return rate;
    }
    return -1;
}

int32_t PropertyStore::DataBits() const {
    int32_t bits = Number(PROPERTY_COMM_NUMBITS);
    return (bits >= 5 && bits <= 8) ? bits : -1;
}

int32_t PropertyStore::Parity() const {
    switch (StoredByName(PROPERTY_COMM_PARITY)[0]) {
        case 'N': return 0;
        case 'O': return 1;
        case 'E': return 2;
        case 'M': return 3;
        case 'S': return 4;
        default: return -1;
    }
}

int32_t PropertyStore::StopBits() const {
    const char* text = StoredByName(PROPERTY_COMM_NUMSTOPBITS);
    if (std::strcmp(text, "1") == 0) return 0;
    if (std::strcmp(text, "1.5") == 0) return 1;
    if (std::strcmp(text, "2") == 0) return 2;
    return -1;
}

}  // namespace tallyx
