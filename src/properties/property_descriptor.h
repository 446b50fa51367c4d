#pragma once
// The constant description of every named property: its name, how long its
// value may be, its default, who may read and write it, and how a caller's value
// is checked and converted.
#include <array>
#include <cstddef>
#include <cstdint>

namespace tallyx {

// How a caller's value is checked before it is stored.
enum class ValueRule : uint8_t {
    Any,          // any text
    Digits,       // non-empty, decimal digits only
    Parity,       // "N", "O" or "E", any letter case
    StopBits,     // "1", "1.5" or "2"
    LogLevel,     // "OFF", "COMMANDS" or "BYTES", any letter case
    FreeText,     // at most maxLength characters
    ShortNumber,  // 1 to 3 digits
    BinList,      // at least one number, strictly increasing
    DateTime,     // exactly YYYY-MM-DD hh:mm:ss.fff
    Units,        // one of the two measurement unit names, any letter case
    ReadOnly,     // the caller may not write it at all
};

// Which measurement the value holds when the caller works in metric units.
enum class UnitKind : uint8_t {
    None,
    Speed,       // one speed: kept in miles per hour, shown in km/h
    SpeedList,   // bin list of speeds
    LengthList,  // bin list of lengths: kept in feet, shown in decimetres
};

inline constexpr uint8_t kAccessRead = 0x01;
inline constexpr uint8_t kAccessWrite = 0x02;
inline constexpr uint8_t kAccessReadWrite = kAccessRead | kAccessWrite;

inline constexpr std::size_t kPropertyCount = 39;

struct PropertyDescriptor {
    const char* name;
    uint32_t maxLength;        // characters the stored value keeps at most
    const char* defaultValue;  // what a new context starts with
    uint8_t access;            // kAccessRead, kAccessWrite
    bool mayBeEmpty;           // whether the caller may set the empty string
    uint16_t index;            // position of the value in a store
    ValueRule rule;
    UnitKind units;
};

// All properties, in the order of their index.
const std::array<PropertyDescriptor, kPropertyCount>& PropertyDescriptors();

}  // namespace tallyx
