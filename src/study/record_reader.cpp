#include "study/record_reader.h"

#include <cstdio>
#include <vector>

namespace tallyx::study {

namespace {

constexpr size_t kQuoteLength = 80;

// An unsigned decimal number of at most `most`, digits only.
bool Unsigned(std::string_view text, uint64_t most, uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= most;
}

bool Signed(std::string_view text, int32_t& value) {
    const bool negative = !text.empty() && text[0] == '-';
    uint64_t magnitude = 0;
    if (!Unsigned(negative ? text.substr(1) : text, negative ? 2147483648ULL : 2147483647ULL, magnitude)) return false;
    value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
    return true;
}

std::string Quoted(std::string_view text) {
    return "'" + Printable(text.substr(0, kQuoteLength)) + (text.size() > kQuoteLength ? "...'" : "'");
}

// Splits a CSV line at its commas; false when it has not exactly `count` fields.
bool SplitFields(std::string_view line, size_t count, std::vector<std::string_view>& fields) {
    fields.clear();
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        if (fields.size() > count) return false;
        start = comma + 1;
    }
    return fields.size() == count;
}

// Reads <name>text</name> at `at` of an element line, moving past it.
bool Child(std::string_view line, size_t& at, std::string_view name, std::string_view& text) {
    if (line.size() - at < name.size() + 2 || line[at] != '<' || line.substr(at + 1, name.size()) != name ||
        line[at + 1 + name.size()] != '>')
        return false;
    const size_t start = at + name.size() + 2;
    const size_t end = line.find('<', start);
    if (end == std::string_view::npos || line.size() - end < name.size() + 3 || line[end + 1] != '/' ||
        line.substr(end + 2, name.size()) != name || line[end + 2 + name.size()] != '>')
        return false;
    text = line.substr(start, end - start);
    at = end + name.size() + 3;
    return true;
}

bool Tag(std::string_view line, size_t& at, std::string_view tag) {
    if (line.substr(at, tag.size()) != tag) return false;
    at += tag.size();
    return true;
}

}  // namespace

std::string Printable(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f) {
            shown += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

bool RecordReader::ParseTime(std::string_view text, int64_t& out, std::string& error) {
    // The minute part ends at the second colon; what follows is "ss" or "ss.mmm".
    const size_t first = text.find(':');
    const size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second != std::string_view::npos && second + 3 <= text.size() && text.substr(0, second) == cachedMinute_) {
        const std::string_view rest = text.substr(second + 1);
        uint64_t seconds = 0, milliseconds = 0;
        const size_t dot = rest.find('.');
        const bool shaped = Unsigned(rest.substr(0, dot), 59, seconds) && rest.substr(0, dot).size() <= 9 &&
                            (dot == std::string_view::npos ||
                             (rest.size() - dot - 1 <= 9 && Unsigned(rest.substr(dot + 1), 999, milliseconds)));
        if (shaped) {
            if (!cachedMinuteNull_) {
                out = cachedMinuteMs_ + static_cast<int64_t>(seconds * 1000 + milliseconds);
                return true;
            }
            if (seconds == 0 && milliseconds == 0) {
                out = kNoTime;
                return true;
            }
        }
    }
    CivilTime time;
    const TimeStampKind kind = ParseTimeStamp(text, time);
    if (kind == TimeStampKind::kInvalid) {
        error = Quoted(text) + " is not a time stamp";
        return false;
    }
    if (second != std::string_view::npos) {
        cachedMinute_.assign(text.substr(0, second));
        cachedMinuteNull_ = kind == TimeStampKind::kNull;
        CivilTime minute = time;
        minute.second = 0;
        minute.millisecond = 0;
        cachedMinuteMs_ = cachedMinuteNull_ ? 0 : ToMilliseconds(minute);
    }
    out = kind == TimeStampKind::kNull ? kNoTime : ToMilliseconds(time);
    return true;
}

bool RecordReader::AddVehicle(std::string_view time, std::string_view flags, std::string_view description,
                              std::string_view speed, std::string_view length, std::string& error) {
    Vehicle vehicle;
    uint64_t number = 0;
    if (!ParseTime(time, vehicle.time, error)) return false;
    if (!Unsigned(flags, 65535, number)) {
        error = Quoted(flags) + " is not a flag number (0-65535)";
        return false;
    }
    vehicle.flags = static_cast<uint16_t>(number);
    if (!Unsigned(speed, 65535, number)) {
        error = Quoted(speed) + " is not a speed (a whole number 0-65535)";
        return false;
    }
    vehicle.speed = static_cast<uint16_t>(number);
    if (!Unsigned(length, 65535, number)) {
        error = Quoted(length) + " is not a length (a whole number 0-65535)";
        return false;
    }
    vehicle.length = static_cast<uint16_t>(number);
    if (haveLastDescription_ && description == lastDescription_) {
        vehicle.description = lastDescriptionIndex_;
    } else {
        const std::optional<uint16_t> index = study_.DescriptionIndex(description);
        if (!index) {
            error = "more than 65536 different flag descriptions: not the vehicles of a counter";
            return false;
        }
        lastDescription_.assign(description);
        lastDescriptionIndex_ = *index;
        haveLastDescription_ = true;
        vehicle.description = *index;
    }
    study_.vehicles.push_back(vehicle);
    return true;
}

bool RecordReader::AddVehicleCsv(std::string_view line, std::string& error) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t commas[4];
    size_t found = 0;
    for (size_t at = line.find(','); at != std::string_view::npos; at = line.find(',', at + 1)) {
        if (found == 4) {
            found = 5;
            break;
        }
        commas[found++] = at;
    }
    if (found != 4) {
        error = "expected 5 fields (" + std::string(kVehicleHeader) + "): not a vehicle record";
        return false;
    }
    return AddVehicle(line.substr(0, commas[0]), line.substr(commas[0] + 1, commas[1] - commas[0] - 1),
                      line.substr(commas[1] + 1, commas[2] - commas[1] - 1),
                      line.substr(commas[2] + 1, commas[3] - commas[2] - 1), line.substr(commas[3] + 1), error);
}

bool RecordReader::AddVehicleXml(std::string_view line, std::string& error) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view fields[5];
    size_t at = 0;
    bool ok = Tag(line, at, "<Sequential>");
    for (size_t i = 0; i < 5 && ok; ++i) ok = Child(line, at, kVehicleColumns[i], fields[i]);
    ok = ok && Tag(line, at, "</Sequential>") && at == line.size();
    if (!ok) {
        error = "expected a Sequential element with TimeStamp, Flag, Flag Description, Speed and Length: not a "
                "vehicle record";
        return false;
    }
    return AddVehicle(fields[0], fields[1], fields[2], fields[3], fields[4], error);
}

bool RecordReader::SetPeriodHeader(std::string_view line, std::string& error) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string expectedStart = std::string(kPeriodHeader);
    bool ok = line.substr(0, expectedStart.size()) == expectedStart;
    uint32_t rows = 0, columns = 0;
    if (ok && line.size() > expectedStart.size()) {
        // ",Bin_1_1,Bin_1_2,...": speed classes as rows, length classes as columns.
        ok = line[expectedStart.size()] == ',';
        std::vector<std::string_view> names;
        SplitFields(line.substr(expectedStart.size() + 1), SIZE_MAX, names);
        uint32_t row = 1, column = 1;
        for (size_t i = 0; i < names.size() && ok; ++i) {
            const std::string_view name = names[i];
            const size_t split = name.find('_', 4);
            uint64_t s = 0, l = 0;
            ok = name.substr(0, 4) == "Bin_" && split != std::string_view::npos &&
                 Unsigned(name.substr(4, split - 4), 1000, s) && Unsigned(name.substr(split + 1), 1000, l);
            if (!ok) break;
            if (s == row && l == column) {
                ++column;
            } else if (s == row + 1 && l == 1 && (columns == 0 || column - 1 == columns)) {
                columns = column - 1;
                ++row;
                column = 2;
            } else {
                ok = false;
            }
        }
        if (ok) {
            if (columns == 0) columns = column - 1;
            ok = column - 1 == columns;
            rows = row;
        }
    } else if (ok) {
        ok = line.size() == expectedStart.size();
    }
    if (!ok) {
        error = "does not begin with the period columns " + expectedStart + " and Bin_1_1...";
        return false;
    }
    study_.binRows = rows;
    study_.binColumns = columns;
    periodHeaderSet_ = true;
    return true;
}

bool RecordReader::AddPeriodCsv(std::string_view line, std::string& error) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string_view> fields;
    const size_t width = 5 + size_t{study_.binRows} * study_.binColumns;
    if (!SplitFields(line, width, fields)) {
        error = "expected " + std::to_string(width) + " fields, as the header names: not a period record";
        return false;
    }
    Period period;
    if (!ParseTime(fields[0], period.end, error)) return false;
    uint64_t number = 0;
    period.hasTemperature = !fields[1].empty();
    if (period.hasTemperature && !Signed(fields[1], period.temperature)) {
        error = Quoted(fields[1]) + " is not a temperature";
        return false;
    }
    uint32_t* targets[] = {&period.occupancy, &period.count, &period.reverseCount};
    for (size_t i = 0; i < 3; ++i) {
        if (!Unsigned(fields[2 + i], UINT32_MAX, number)) {
            error = Quoted(fields[2 + i]) + " is not a " + std::string(kPeriodColumns[2 + i]) + " (a whole number)";
            return false;
        }
        *targets[i] = static_cast<uint32_t>(number);
    }
    const size_t first = study_.bins.size();
    for (size_t i = 5; i < fields.size(); ++i) {
        if (!Unsigned(fields[i], UINT32_MAX, number)) {
            study_.bins.resize(first);
            error = Quoted(fields[i]) + " is not a bin count (a whole number)";
            return false;
        }
        study_.bins.push_back(static_cast<uint32_t>(number));
    }
    study_.periods.push_back(period);
    return true;
}

bool RecordReader::AddPeriodXml(std::string_view line, std::string& error) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const char* kShape =
        "expected a Periodic element with TimeStamp, Temperature (or none), Occupancy, Count, ReverseCount and Bin: "
        "not a period record";
    size_t at = 0;
    std::string_view time, temperature, numbers[3];
    bool ok = Tag(line, at, "<Periodic>") && Child(line, at, kPeriodColumns[0], time);
    Period period;
    period.hasTemperature = ok && Child(line, at, kPeriodColumns[1], temperature);
    for (size_t i = 0; i < 3 && ok; ++i) ok = Child(line, at, kPeriodColumns[2 + i], numbers[i]);
    ok = ok && Tag(line, at, "<Bin>");
    if (!ok) {
        error = kShape;
        return false;
    }
    if (!ParseTime(time, period.end, error)) return false;
    if (period.hasTemperature && !Signed(temperature, period.temperature)) {
        error = Quoted(temperature) + " is not a temperature";
        return false;
    }
    uint64_t number = 0;
    uint32_t* targets[] = {&period.occupancy, &period.count, &period.reverseCount};
    for (size_t i = 0; i < 3; ++i) {
        if (!Unsigned(numbers[i], UINT32_MAX, number)) {
            error = Quoted(numbers[i]) + " is not a " + std::string(kPeriodColumns[2 + i]) + " (a whole number)";
            return false;
        }
        *targets[i] = static_cast<uint32_t>(number);
    }
    // <Bin><1><1>n</1><2>n</2></1><2>...</2></Bin>: rows of numbered cells.
    std::vector<uint32_t> cells;
    uint32_t rows = 0, columns = 0;
    for (uint32_t row = 1;; ++row) {
        const std::string open = "<" + std::to_string(row) + ">";
        if (!Tag(line, at, open)) break;
        uint32_t column = 1;
        for (;; ++column) {
            std::string_view cell;
            if (!Child(line, at, std::to_string(column), cell)) break;
            if (!Unsigned(cell, UINT32_MAX, number)) {
                error = Quoted(cell) + " is not a bin count (a whole number)";
                return false;
            }
            cells.push_back(static_cast<uint32_t>(number));
        }
        if (!Tag(line, at, "</" + std::to_string(row) + ">") || (columns != 0 && column - 1 != columns) ||
            row > 1000) {
            error = kShape;
            return false;
        }
        columns = column - 1;
        rows = row;
    }
    if (rows == 0) columns = 0;
    if (!Tag(line, at, "</Bin></Periodic>") || at != line.size()) {
        error = kShape;
        return false;
    }
    if (!periodHeaderSet_) {
        study_.binRows = rows;
        study_.binColumns = columns;
        periodHeaderSet_ = true;
    } else if (rows != study_.binRows || columns != study_.binColumns) {
        error = "its bins are " + std::to_string(rows) + " x " + std::to_string(columns) + ", the first period's " +
                std::to_string(study_.binRows) + " x " + std::to_string(study_.binColumns) + ": not a period record";
        return false;
    }
    study_.bins.insert(study_.bins.end(), cells.begin(), cells.end());
    study_.periods.push_back(period);
    return true;
}

}  // namespace tallyx::study
