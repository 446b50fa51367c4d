#include "study/civil_time.h"

#include <cctype>
#include <cstdio>

namespace tallyx::study {

namespace {

// Reads "%u"-style fields: optional white space, an optional "+", digits.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

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
        if (c == ' ') {
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

// Reads 1 to 9 digits at text[at].
bool Digits(std::string_view text, size_t& at, uint32_t& value) {
    const size_t start = at;
    value = 0;
    while (at < text.size() && at - start < 9 && text[at] >= '0' && text[at] <= '9')
        value = value * 10 + static_cast<uint32_t>(text[at++] - '0');
    return at != start;
}

bool Expect(std::string_view text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

void AppendPadded(std::string& out, uint32_t value, int width) {
    char digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = n; i < width; ++i) out += '0';
    while (n > 0) out += digits[--n];
}

}  // namespace

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
    const CivilDate date = tallyx::CivilFromDays(days);
    year = static_cast<int>(date.year);
    month = date.month;
    day = date.day;
}

int DayOfWeek(int64_t year, int month, int day) {
    // 1970-01-01 was a Thursday (5).
    return static_cast<int>(((DaysFromCivil(year, month, day) + 4) % 7 + 7) % 7) + 1;
}

bool IsValidCivilTime(const CivilTime& time) {
    if (time.year < 1601 || time.year > 30827) return false;
    if (time.month < 1 || time.month > 12) return false;
    if (time.day < 1 || static_cast<int>(time.day) > DaysInMonth(time.year, static_cast<int>(time.month))) return false;
    return time.hour < 24 && time.minute < 60 && time.second < 60 && time.millisecond < 1000;
}

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

std::optional<int64_t> CivilTimeToTicks(const CivilTime& time) {
    if (!IsValidCivilTime(time)) return std::nullopt;
    static const int64_t kEpochDays = DaysFromCivil(1601, 1, 1);
    const int64_t days = DaysFromCivil(time.year, static_cast<int>(time.month), static_cast<int>(time.day)) - kEpochDays;
    const int64_t seconds = days * 86400 + time.hour * 3600 + time.minute * 60 + time.second;
    return seconds * 10000000 + static_cast<int64_t>(time.millisecond) * 10000;
}

TimeStampKind ParseTimeStamp(std::string_view text, CivilTime& t) {
    size_t at = 0;
    t = CivilTime{};
    const bool shaped = Digits(text, at, t.year) && Expect(text, at, '-') && Digits(text, at, t.month) &&
                        Expect(text, at, '-') && Digits(text, at, t.day) && Expect(text, at, ' ') &&
                        Digits(text, at, t.hour) && Expect(text, at, ':') && Digits(text, at, t.minute) &&
                        Expect(text, at, ':') && Digits(text, at, t.second) &&
                        (at == text.size() || (Expect(text, at, '.') && Digits(text, at, t.millisecond))) &&
                        at == text.size();
    if (!shaped) return TimeStampKind::kInvalid;
    if (t.year == 0 && t.month == 0 && t.day == 0 && t.hour == 0 && t.minute == 0 && t.second == 0 &&
        t.millisecond == 0)
        return TimeStampKind::kNull;
    return IsValidCivilTime(t) ? TimeStampKind::kValid : TimeStampKind::kInvalid;
}

int64_t ToMilliseconds(const CivilTime& t) {
    const int64_t days = DaysFromCivil(t.year, static_cast<int>(t.month), static_cast<int>(t.day));
    return ((days * 24 + t.hour) * 60 + t.minute) * 60000 + int64_t{t.second} * 1000 + t.millisecond;
}

CivilTime FromMilliseconds(int64_t milliseconds) {
    const int64_t days = FloorDiv(milliseconds, kMillisecondsPerDay);
    int64_t rest = milliseconds - days * kMillisecondsPerDay;
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    CivilTime t;
    t.year = static_cast<uint32_t>(year);
    t.month = static_cast<uint32_t>(month);
    t.day = static_cast<uint32_t>(day);
    t.hour = static_cast<uint32_t>(rest / 3600000);
    rest %= 3600000;
    t.minute = static_cast<uint32_t>(rest / 60000);
    rest %= 60000;
    t.second = static_cast<uint32_t>(rest / 1000);
    t.millisecond = static_cast<uint32_t>(rest % 1000);
    return t;
}

void AppendTimeStamp(int64_t milliseconds, std::string& out) {
    const CivilTime t = milliseconds == kNoTime ? CivilTime{} : FromMilliseconds(milliseconds);
    AppendPadded(out, t.year, 1);
    out += '-';
    AppendPadded(out, t.month, 2);
    out += '-';
    AppendPadded(out, t.day, 2);
    out += ' ';
    AppendPadded(out, t.hour, 2);
    out += ':';
    AppendPadded(out, t.minute, 2);
    out += ':';
    AppendPadded(out, t.second, 2);
    out += '.';
    AppendPadded(out, t.millisecond, 3);
}

std::string FormatTimeStamp(int64_t milliseconds) {
    std::string text;
    AppendTimeStamp(milliseconds, text);
    return text;
}

std::string FormatMinute(int64_t milliseconds) {
    const CivilTime t = FromMilliseconds(milliseconds);
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", t.year, t.month, t.day, t.hour, t.minute);
    return text;
}

std::string FormatDay(int64_t milliseconds) { return FormatMinute(milliseconds).substr(0, 10); }

std::optional<int64_t> ParseStudyTime(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    CivilTime time;
    if (ParseTimeStamp(text, time) == TimeStampKind::kValid) return ToMilliseconds(time);
    // "YYYY-MM-DD hh:mm": the same with ":00" seconds.
    if (ParseTimeStamp(std::string(text) + ":00", time) == TimeStampKind::kValid) return ToMilliseconds(time);
    return std::nullopt;
}

bool IsDayText(std::string_view text) {
    return text.size() == 10 && ParseStudyTime(std::string(text) + " 00:00").has_value();
}

}  // namespace tallyx::study
