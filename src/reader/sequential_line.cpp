#include "reader/sequential_line.h"

#include <vector>

#include "reader/number_text.h"

namespace tallyx {

namespace {

uint32_t NonNegative(std::string_view text) {
    const int32_t value = ParseDecimal(text);
    return value < 0 ? 0 : static_cast<uint32_t>(value);
}

}  // namespace

SequentialLine SequentialLine::Parse(std::string_view line) {
    std::vector<std::string_view> columns;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            columns.push_back(line.substr(start));
            break;
        }
        columns.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
    auto column = [&columns](size_t index) {
        return index < columns.size() ? columns[index] : std::string_view();
    };

    SequentialLine record;
    record.time = study::ParseCivilTime(column(0));
    record.flag = ParseDecimal(column(1));
    record.description = std::string(column(2));
    record.speed = NonNegative(column(3));
    record.length = NonNegative(column(4));
    return record;
}

}  // namespace tallyx
