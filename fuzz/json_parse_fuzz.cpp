// The JSON parser from any bytes: settings files of read folders and, later, request bodies.
// It accepts or refuses with a sentence; what it accepts is written again and parses to the
// same text, and nesting deeper than the limit is refused rather than recursed into.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "json/json_value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tallyx::json;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Value value;
    std::string error;
    if (!Parse(text, value, error, ParseLimits{32})) {
        if (error.empty()) std::abort();
        return 0;
    }
    for (const int indent : {0, 2}) {
        const std::string written = Write(value, indent);
        Value again;
        if (!Parse(written, again, error, ParseLimits{40})) std::abort();
        if (Write(again, indent) != written) std::abort();
    }
    return 0;
}
