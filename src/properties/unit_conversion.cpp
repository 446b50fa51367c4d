#include "properties/unit_conversion.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <tallyx/tallyx.h>

#include "properties/bin_list.h"
#include "properties/text_checks.h"
#include "properties/units.h"

namespace tallyx {
namespace {

using Converter = uint32_t (*)(uint32_t);

int32_t ConvertNumber(Converter convert, char* text, uint32_t bufferSize) {
    // The number is read the way atol reads it; a negative stored value wraps
    // to a large unsigned one, which the conversion saturates.
    uint32_t converted = convert(static_cast<uint32_t>(ParseLong(text)));
    char digits[16];
    int written = std::snprintf(digits, sizeof digits, "%lu", static_cast<unsigned long>(converted));
    std::size_t length = static_cast<std::size_t>(written);
    if (length >= bufferSize) {
        text[0] = '\0';
        return RETCODE_ERR_BUFFERTOOSMALL;
    }
    std::memcpy(text, digits, length + 1);
    return RETCODE_OK;
}

int32_t ConvertList(Converter convert, char* text, uint32_t bufferSize) {
    std::vector<uint32_t> numbers;
    ParseBinList(text, numbers);
    for (uint32_t& number : numbers) number = convert(number);
    return FormatBinList(numbers, text, bufferSize);
}

int32_t Convert(UnitKind kind, char* text, uint32_t bufferSize, Converter speed, Converter length) {
    if (kind == UnitKind::None) return RETCODE_OK;
    if (text == nullptr || bufferSize == 0) return RETCODE_ERR_BUFFERTOOSMALL;
    // An unset value has no number to convert; it must not turn into "0".
    if (text[0] == '\0') return RETCODE_OK;
    switch (kind) {
        case UnitKind::Speed: return ConvertNumber(speed, text, bufferSize);
        case UnitKind::SpeedList: return ConvertList(speed, text, bufferSize);
        case UnitKind::LengthList: return ConvertList(length, text, bufferSize);
        case UnitKind::None: break;
    }
    return RETCODE_OK;
}

}  // namespace

int32_t ConvertToStoredUnits(UnitKind kind, char* text, uint32_t bufferSize) {
    return Convert(kind, text, bufferSize, KmhToMph, DecimetresToFeet);
}

int32_t ConvertToCallerUnits(UnitKind kind, char* text, uint32_t bufferSize) {
    return Convert(kind, text, bufferSize, MphToKmh, FeetToDecimetres);
}

}  // namespace tallyx
