#pragma once
// A JSON document in memory, read from text by a strict parser: the settings
// files of a read, the figures of a report, the bodies of requests.
//
// Texts are 8-bit: bytes from 0x80 up pass through unchanged, and an escape
// \u0000 to \u00FF stands for that one byte (which is how tallyx writes the
// control characters of a counter's texts); escapes above it become UTF-8.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tallyx::json {

class Value {
public:
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    using Member = std::pair<std::string, Value>;

    Value() = default;
    static Value Bool(bool value);
    static Value Number(double value);
    static Value Integer(int64_t value);
    static Value String(std::string value);
    static Value Array();
    static Value Object();

    Kind kind() const { return kind_; }
    bool IsNull() const { return kind_ == Kind::kNull; }
    bool IsBool() const { return kind_ == Kind::kBool; }
    bool IsNumber() const { return kind_ == Kind::kNumber; }
    bool IsString() const { return kind_ == Kind::kString; }
    bool IsArray() const { return kind_ == Kind::kArray; }
    bool IsObject() const { return kind_ == Kind::kObject; }
    // A number written without fraction or exponent that fits 64 bits.
    bool IsInteger() const { return kind_ == Kind::kNumber && integral_; }

    bool AsBool() const { return boolean_; }
    double AsNumber() const { return number_; }
    int64_t AsInteger() const { return integer_; }
    const std::string& AsString() const { return text_; }
    const std::vector<Value>& Items() const { return items_; }
    const std::vector<Member>& Members() const { return members_; }

    // The member of an object with that name; null when there is none.
    const Value* Find(std::string_view name) const;
    // The member's text when it is a string, else fallback.
    std::string Text(std::string_view name, std::string_view fallback = "") const;

    // Building.
    Value& Add(Value item);                       // arrays
    Value& Set(std::string name, Value value);    // objects: replaces a member of that name

private:
    Kind kind_ = Kind::kNull;
    bool boolean_ = false;
    bool integral_ = false;
    double number_ = 0;
    int64_t integer_ = 0;
    std::string text_;
    std::vector<Value> items_;
    std::vector<Member> members_;
};

struct ParseLimits {
    size_t maxDepth = 64;
};

// The whole text as one JSON value (white space around it allowed). False with
// a sentence naming where the text goes wrong ("line 3, column 7: ...").
// Duplicate names in an object are refused.
bool Parse(std::string_view text, Value& out, std::string& error, ParseLimits limits = {});

// The name of the first member of an object that is not one of the allowed
// names; null when every member is allowed (or the value is no object).
const std::string* UnknownMember(const Value& object, std::initializer_list<std::string_view> allowed);

// The text of a value as a JSON string literal, quotes included.
std::string Quote(std::string_view text);
// A number as JSON: integers as such, others in the shortest form that reads
// back to the same double, with ".0" for whole values; NaN and infinities as null.
std::string FormatNumber(double value);

// Writes a value as text: with indent 0 on one line, else with that many
// blanks per level and one member or item a line.
std::string Write(const Value& value, int indent = 0);

// Appends the UTF-8 form of a code point up to U+10FFFF.
void AppendUtf8(uint32_t code, std::string& out);

}  // namespace tallyx::json
