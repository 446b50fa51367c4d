#include "sim_time.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace tallysim {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

// Reads an unsigned decimal number of at most `maxDigits` digits at `pos`.
bool ReadNumber(std::string_view text, size_t& pos, int maxDigits, int& value, int* digits = nullptr) {
    int count = 0;
    int result = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && count < maxDigits) {
        result = result * 10 + (text[pos] - '0');
        ++pos;
        ++count;
    }
    if (count == 0) return false;
    value = result;
    if (digits) *digits = count;
    return true;
}

bool Expect(std::string_view text, size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
    return kDays[month - 1];
}

int64_t SimDateTime::ToMillis() const {
    const int64_t days = DaysFromCivil(year, month, day);
    return (((days * 24 + hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
}

SimDateTime SimDateTime::FromMillis(int64_t millis) {
    SimDateTime t;
    const int64_t days = FloorDiv(millis, 86400000);
    int64_t rest = millis - days * 86400000;
    CivilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600000);
    rest %= 3600000;
    t.minute = static_cast<int>(rest / 60000);
    rest %= 60000;
    t.second = static_cast<int>(rest / 1000);
    t.millisecond = static_cast<int>(rest % 1000);
    return t;
}

bool SimDateTime::IsValid() const {
    return year >= 1601 && year <= 30827 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month) && hour >= 0 && hour < 24 && minute >= 0 && minute < 60 &&
           second >= 0 && second < 60 && millisecond >= 0 && millisecond < 1000;
}

std::string SimDateTime::Text() const {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day, hour, minute,
                  second, millisecond);
    return buffer;
}

std::string SimDateTime::TextNoMillis() const {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    return buffer;
}

std::optional<SimDateTime> SimDateTime::Parse(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    SimDateTime t;
    size_t pos = 0;
    if (!ReadNumber(text, pos, 5, t.year) || !Expect(text, pos, '-') || !ReadNumber(text, pos, 2, t.month) ||
        !Expect(text, pos, '-') || !ReadNumber(text, pos, 2, t.day))
        return std::nullopt;
    t.hour = t.minute = t.second = t.millisecond = 0;
    if (pos < text.size()) {
        if (!Expect(text, pos, ' ') && !Expect(text, pos, 'T')) return std::nullopt;
        while (pos < text.size() && text[pos] == ' ') ++pos;
        if (!ReadNumber(text, pos, 2, t.hour) || !Expect(text, pos, ':') || !ReadNumber(text, pos, 2, t.minute))
            return std::nullopt;
        if (Expect(text, pos, ':')) {
            if (!ReadNumber(text, pos, 2, t.second)) return std::nullopt;
            if (Expect(text, pos, '.')) {
                int digits = 0;
                int fraction = 0;
                if (!ReadNumber(text, pos, 3, fraction, &digits)) return std::nullopt;
                while (digits++ < 3) fraction *= 10;
                t.millisecond = fraction;
            }
        }
    }
    if (pos != text.size() || !t.IsValid()) return std::nullopt;
    return t;
}

SimDateTime SimDateTime::Now() {
    const auto now = std::chrono::system_clock::now();
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    SimDateTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec < 60 ? local.tm_sec : 59;
    t.millisecond = static_cast<int>(millis % 1000);
    return t;
}

}  // namespace tallysim
