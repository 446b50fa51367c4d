#include "drivers/modelb/zk220_answer_text.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tallyx {

namespace {

// Copies the length characters at text into field (capacity characters and a
// terminating zero), cutting what does not fit.
void CopyField(const char* text, size_t length, char* field, size_t capacity) {
    const size_t kept = length < capacity ? length : capacity;
    std::memcpy(field, text, kept);
    field[kept] = '\0';
}

// A date and time between two quotes; the text is copied first, so a long one
// cannot run past the parser. A text that is no date leaves the null time.
void ParseQuotedTime(const char* text, size_t length, DateTime& out) {
    char copy[64];
    CopyField(text, length, copy, sizeof copy - 1);
    DateTime::Parse(out, copy);
}

// The position of the next space from text on, or null; at least one
// character must come before it.
const char* SpaceAfterOneCharacter(const char* text) {
    const char* space = std::strchr(text, ' ');
    return space != nullptr && space != text ? space : nullptr;
}

// The text between the quote at text and the next quote: start and length.
// Null when text is no quote, there is no closing quote or nothing between.
const char* QuotedText(const char* text, size_t& length) {
    if (*text != '"') return nullptr;
    const char* close = std::strchr(text + 1, '"');
    if (close == nullptr || close == text + 1) return nullptr;
    length = static_cast<size_t>(close - (text + 1));
    return text + 1;
}

struct UserAreaTag {
    const char* name;
    char* field;
    size_t capacity;
};

// The text between <name> and </name>; false when either is missing or the
// closing tag comes first.
bool FindElement(const char* text, const char* name, const char*& content, size_t& length) {
    char open[16];
    char close[17];
    const size_t nameLength = std::strlen(name);
    open[0] = '<';
    std::memcpy(open + 1, name, nameLength);
    open[nameLength + 1] = '>';
    open[nameLength + 2] = '\0';
    close[0] = '<';
    close[1] = '/';
    std::memcpy(close + 2, name, nameLength);
    close[nameLength + 2] = '>';
    close[nameLength + 3] = '\0';

    const char* start = std::strstr(text, open);
    const char* end = std::strstr(text, close);
    if (start == nullptr || end == nullptr) return false;
    content = start + nameLength + 2;
    if (end < content) return false;
    length = static_cast<size_t>(end - content);
    return true;
}

}  // namespace

int32_t ParseZK220Number(const char* text) {
    if (text == nullptr) return 0;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT64_C(2147483648)) value = INT64_C(2147483648);
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

bool ParseZK220StudyInfo(const char* text, ZK220StudyInfo& info) {
    info = ZK220StudyInfo{};
    if (text == nullptr) return false;

    // 1. The type runs to the first space, which may not come first.
    const char* space = SpaceAfterOneCharacter(text);
    if (space == nullptr) return false;
    CopyField(text, static_cast<size_t>(space - text), info.type, ZK220StudyInfo::kTypeCapacity);

    // 2. The state code, then a space after at least one character.
    const char* at = space + 1;
    info.stateCode = ParseZK220Number(at);
    space = SpaceAfterOneCharacter(at);
    if (space == nullptr) return false;

    // 3. The quoted begin.
    at = space + 1;
    size_t length = 0;
    const char* quoted = QuotedText(at, length);
    if (quoted == nullptr) return false;
    ParseQuotedTime(quoted, length, info.begin);
    info.beginText = std::string_view(quoted, length);

    // 4. A space and the quoted end.
    at = quoted + length + 1;
    if (at[0] != ' ') return false;
    quoted = QuotedText(at + 1, length);
    if (quoted == nullptr) return false;
    ParseQuotedTime(quoted, length, info.end);
    info.endText = std::string_view(quoted, length);

    // 5. A space, the period in seconds, a space after at least one character.
    at = quoted + length + 1;
    if (at[0] != ' ') return false;
    ++at;
    info.periodMinutes = ParseZK220Number(at) / 60;
    space = SpaceAfterOneCharacter(at);
    if (space == nullptr) return false;

    // 6. The record count, a space after at least one character, and the
    // record size, which must not be missing.
    at = space + 1;
    info.recordCount = ParseZK220Number(at);
    space = SpaceAfterOneCharacter(at);
    if (space == nullptr || space[1] == '\0') return false;
    info.recordSize = ParseZK220Number(space + 1);
    return true;
}

bool ParseZK220UserArea(const char* text, ZK220UserArea& area) {
    area = ZK220UserArea{};
    if (text == nullptr) return false;
    const UserAreaTag tags[] = {
        {"V", area.version, ZK220UserArea::kShortCapacity},
        {"SB", area.speedBins, ZK220UserArea::kLongCapacity},
        {"LB", area.lengthBins, ZK220UserArea::kLongCapacity},
        {"ST", area.state, ZK220UserArea::kShortCapacity},
        {"CT", area.city, ZK220UserArea::kShortCapacity},
        {"CNT", area.county, ZK220UserArea::kShortCapacity},
        {"ADDR", area.address, ZK220UserArea::kLongCapacity},
        {"LN", area.lane, ZK220UserArea::kShortCapacity},
        {"SPL", nullptr, 0},
        {"OP", area.operatorInitials, ZK220UserArea::kShortCapacity},
    };
    for (const UserAreaTag& tag : tags) {
        const char* content = nullptr;
        size_t length = 0;
        if (!FindElement(text, tag.name, content, length)) return false;
        if (tag.field != nullptr) {
            CopyField(content, length, tag.field, tag.capacity);
        } else {
            char number[32];
            CopyField(content, length, number, sizeof number - 1);
            const int32_t limit = ParseZK220Number(number);
            area.speedLimit = limit > 0 ? static_cast<uint32_t>(limit) : 0;
        }
    }
    return true;
}

}  // namespace tallyx
