#include "reader/civil_time.h"

#include <cctype>

namespace tallyx {

namespace {

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    // One "%u" field: optional white space, an optional "+", at least one digit.
    // Values beyond 32 bits saturate; they are invalid as dates anyway.
    bool Number(uint32_t& value) {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        if (pos_ < text_.size() && text_[pos_] == '+') ++pos_;
        if (pos_ >= text_.size() || !std::isdigit(static_cast<unsigned char>(text_[pos_]))) return false;
        uint64_t result = 0;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
            result = result * 10 + static_cast<uint64_t>(text_[pos_] - '0');
            if (result > UINT32_MAX) result = UINT32_MAX;
            ++pos_;
        }
        value = static_cast<uint32_t>(result);
        return true;
    }

    bool Literal(char c) {
        if (c == ' ') {  // a blank in a pattern matches any white space, or none
            while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
            return true;
        }
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsPerDay = 86400;

bool IsLeapYear(uint32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

uint32_t DaysInMonth(uint32_t year, uint32_t month) {
    static constexpr uint32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDays[month - 1];
}

}  // namespace

std::optional<CivilTime> ParseCivilTime(std::string_view text) {
    Scanner scan(text);
    CivilTime time;
    if (!scan.Number(time.year) || !scan.Literal('-') || !scan.Number(time.month) || !scan.Literal('-') ||
        !scan.Number(time.day) || !scan.Literal(' ') || !scan.Number(time.hour) || !scan.Literal(':') ||
        !scan.Number(time.minute) || !scan.Literal(':') || !scan.Number(time.second)) {
        return std::nullopt;
    }
    if (!scan.Literal('.') || !scan.Number(time.millisecond)) time.millisecond = 0;
    return time;
}

bool IsValidCivilTime(const CivilTime& time) {
    if (time.year < 1601 || time.year > 30827) return false;
    if (time.month < 1 || time.month > 12) return false;
    if (time.day < 1 || time.day > DaysInMonth(time.year, time.month)) return false;
    return time.hour < 24 && time.minute < 60 && time.second < 60 && time.millisecond < 1000;
}

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    // Counts in eras of 400 years that start on 1 March, so the leap day is the
    // last day of its year.
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t monthFromMarch = month > 2 ? month - 3 : month + 9;
    const int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::optional<int64_t> CivilTimeToTicks(const CivilTime& time) {
    if (!IsValidCivilTime(time)) return std::nullopt;
    static const int64_t kEpochDays = DaysFromCivil(1601, 1, 1);
    const int64_t days = DaysFromCivil(time.year, time.month, time.day) - kEpochDays;
    const int64_t seconds = days * kSecondsPerDay + time.hour * 3600 + time.minute * 60 + time.second;
    return seconds * kTicksPerSecond + static_cast<int64_t>(time.millisecond) * 10000;
}

}  // namespace tallyx
