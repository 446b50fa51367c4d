#pragma once
// The flag description of a record: the names of its set flags joined with
// "+". Each counter model supplies its own table of names.
#include <cstdint>
#include <span>

namespace tallyx {

class TextLine;

struct FlagName {
    uint16_t mask;
    const char* name;
    // The name is left out when the flag of the entry before it is set
    // (forward and reverse exclude each other: forward wins).
    bool yieldsToPrevious = false;
};

using FlagNameTable = std::span<const FlagName>;

// Appends the description of flags to line; false when it does not fit.
bool AppendFlagDescription(FlagNameTable table, uint16_t flags, TextLine& line);

// The description into a buffer of size bytes; false when it does not fit.
bool FormatFlagDescription(FlagNameTable table, uint16_t flags, char* buffer, uint32_t size);

}  // namespace tallyx
