#include "properties/property_validation.h"

#include <cstring>
#include <initializer_list>

#include <tallyx/tallyx.h>

#include "properties/bin_list.h"
#include "properties/text_checks.h"

namespace tallyx {
namespace {

bool IsOneOf(const char* value, std::initializer_list<const char*> choices, bool ignoreCase) {
    for (const char* choice : choices) {
        if (ignoreCase ? EqualsIgnoreCase(value, choice) : std::strcmp(value, choice) == 0) return true;
    }
    return false;
}

// Whether the text is longer than limit characters, reading no further than
// one character past the limit.
bool LongerThan(const char* value, uint32_t limit) {
    for (uint32_t i = 0; i <= limit; ++i) {
        if (value[i] == '\0') return false;
    }
    return true;
}

}  // namespace

bool HasDateTimeForm(const char* value) {
    static constexpr char kPattern[] = "dddd-dd-dd dd:dd:dd.ddd";
    std::size_t i = 0;
    for (; kPattern[i] != '\0'; ++i) {
        char c = value[i];
        if (c == '\0') return false;
        if (kPattern[i] == 'd' ? !IsDecimalDigit(c) : c != kPattern[i]) return false;
    }
    return value[i] == '\0';
}

int32_t ValidateCallerValue(const PropertyDescriptor& descriptor, const char* value) {
    if (!descriptor.mayBeEmpty && value[0] == '\0') return RETCODE_ERR_INVALIDPROPERTYVALUE;
    const int32_t invalid = RETCODE_ERR_INVALIDPROPERTYVALUE;
    switch (descriptor.rule) {
        case ValueRule::Any:
            return RETCODE_OK;
        case ValueRule::ReadOnly:
            return RETCODE_ERR_READONLYPROPERTY;
        case ValueRule::Digits:
            return IsAllDigits(value) ? RETCODE_OK : invalid;
        case ValueRule::Parity:
            return IsOneOf(value, {"N", "O", "E"}, true) ? RETCODE_OK : invalid;
        case ValueRule::StopBits:
            return IsOneOf(value, {"1", "1.5", "2"}, false) ? RETCODE_OK : invalid;
        case ValueRule::LogLevel:
            return IsOneOf(value, {"OFF", "COMMANDS", "BYTES"}, true) ? RETCODE_OK : invalid;
        case ValueRule::FreeText:
            return LongerThan(value, descriptor.maxLength) ? RETCODE_ERR_VALUETOOBIG : RETCODE_OK;
        case ValueRule::ShortNumber:
            if (LongerThan(value, 3)) return RETCODE_ERR_VALUETOOBIG;
            return IsAllDigits(value) ? RETCODE_OK : invalid;
        case ValueRule::BinList:
            switch (CheckBinList(value)) {
                case BinListOrder::Empty: return invalid;
                case BinListOrder::OutOfSequence: return RETCODE_ERR_OUTOFSEQUENCE;
                case BinListOrder::Increasing: return RETCODE_OK;
            }
            return invalid;
        case ValueRule::DateTime:
            return HasDateTimeForm(value) ? RETCODE_OK : invalid;
        case ValueRule::Units:
            return IsOneOf(value, {STUDY_MEASUREMENTUNITS_US, STUDY_MEASUREMENTUNITS_METRIC}, true) ? RETCODE_OK
                                                                                                   : invalid;
    }
    return invalid;
}

}  // namespace tallyx
