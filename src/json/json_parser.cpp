// A strict JSON parser: one value, no comments, no trailing commas, no
// duplicate names, nesting bounded, every position checked against the end.
#include <charconv>
#include <cstdio>

#include "json/json_value.h"

namespace tallyx::json {

namespace {

class Parser {
public:
    Parser(std::string_view text, ParseLimits limits) : text_(text), limits_(limits) {}

    bool Document(Value& out, std::string& error) {
        SkipSpace();
        if (!ParseValue(out, 0)) {
            error = error_;
            return false;
        }
        SkipSpace();
        if (at_ != text_.size()) {
            Fail("text after the end of the value");
            error = error_;
            return false;
        }
        return true;
    }

private:
    bool Fail(const char* what) {
        if (!error_.empty()) return false;
        size_t line = 1, column = 1;
        for (size_t i = 0; i < at_ && i < text_.size(); ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        char where[64];
        std::snprintf(where, sizeof where, "line %zu, column %zu: ", line, column);
        error_ = std::string(where) + what;
        return false;
    }

    void SkipSpace() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    bool Literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return Fail("not a JSON value");
        at_ += word.size();
        return true;
    }

    bool ParseValue(Value& out, size_t depth) {
        if (at_ >= text_.size()) return Fail("the text ends where a value is expected");
        switch (text_[at_]) {
            case '{': return ParseObject(out, depth + 1);
            case '[': return ParseArray(out, depth + 1);
            case '"': {
                std::string text;
                if (!ParseString(text)) return false;
                out = Value::String(std::move(text));
                return true;
            }
            case 't':
                if (!Literal("true")) return false;
                out = Value::Bool(true);
                return true;
            case 'f':
                if (!Literal("false")) return false;
                out = Value::Bool(false);
                return true;
            case 'n':
                if (!Literal("null")) return false;
                out = Value();
                return true;
            default: return ParseNumber(out);
        }
    }

    bool ParseObject(Value& out, size_t depth) {
        if (depth > limits_.maxDepth) return Fail("nested too deeply");
        ++at_;
        out = Value::Object();
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == '}') {
            ++at_;
            return true;
        }
        for (;;) {
            SkipSpace();
            if (at_ >= text_.size() || text_[at_] != '"') return Fail("a member name in double quotes is expected");
            std::string name;
            const size_t nameAt = at_;
            if (!ParseString(name)) return false;
            if (out.Find(name) != nullptr) {
                at_ = nameAt;
                return Fail("a member name given twice");
            }
            SkipSpace();
            if (at_ >= text_.size() || text_[at_] != ':') return Fail("':' is expected after a member name");
            ++at_;
            SkipSpace();
            Value member;
            if (!ParseValue(member, depth)) return false;
            out.Set(std::move(name), std::move(member));
            SkipSpace();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == '}') {
                ++at_;
                return true;
            }
            return Fail("',' or '}' is expected");
        }
    }

    bool ParseArray(Value& out, size_t depth) {
        if (depth > limits_.maxDepth) return Fail("nested too deeply");
        ++at_;
        out = Value::Array();
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == ']') {
            ++at_;
            return true;
        }
        for (;;) {
            SkipSpace();
            Value item;
            if (!ParseValue(item, depth)) return false;
            out.Add(std::move(item));
            SkipSpace();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == ']') {
                ++at_;
                return true;
            }
            return Fail("',' or ']' is expected");
        }
    }

    static int HexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool Hex4(uint32_t& code) {
        if (text_.size() - at_ < 4) return Fail("\\u needs four hexadecimal digits");
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = HexDigit(text_[at_ + static_cast<size_t>(i)]);
            if (digit < 0) return Fail("\\u needs four hexadecimal digits");
            code = code * 16 + static_cast<uint32_t>(digit);
        }
        at_ += 4;
        return true;
    }

    bool ParseString(std::string& out) {
        ++at_;  // the opening quote
        for (;;) {
            if (at_ >= text_.size()) return Fail("a text is not closed");
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return Fail("a control character inside a text");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return Fail("a text is not closed");
            const char escape = text_[at_++];
            switch (escape) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    uint32_t code = 0;
                    if (!Hex4(code)) return false;
                    if (code >= 0xD800 && code <= 0xDBFF) {
                        uint32_t low = 0;
                        if (text_.substr(at_, 2) != "\\u") return Fail("a lone surrogate in \\u");
                        at_ += 2;
                        if (!Hex4(low)) return false;
                        if (low < 0xDC00 || low > 0xDFFF) return Fail("a lone surrogate in \\u");
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else if (code >= 0xDC00 && code <= 0xDFFF) {
                        return Fail("a lone surrogate in \\u");
                    }
                    if (code <= 0xFF) {
                        out += static_cast<char>(code);
                    } else {
                        AppendUtf8(code, out);
                    }
                    break;
                }
                default: return Fail("an unknown escape in a text");
            }
        }
    }

    bool ParseNumber(Value& out) {
        const size_t start = at_;
        auto digits = [this] {
            const size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
            return at_ - from;
        };
        if (at_ < text_.size() && text_[at_] == '-') ++at_;
        const size_t intStart = at_;
        const size_t intDigits = digits();
        if (intDigits == 0) return Fail("not a JSON value");
        if (intDigits > 1 && text_[intStart] == '0') return Fail("a number with a leading zero");
        bool integral = true;
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            integral = false;
            if (digits() == 0) return Fail("a digit is expected after the decimal point");
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            integral = false;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
            if (digits() == 0) return Fail("a digit is expected in the exponent");
        }
        const char* first = text_.data() + start;
        const char* last = text_.data() + at_;
        if (integral) {
            int64_t value = 0;
            const auto [end, failure] = std::from_chars(first, last, value);
            if (failure == std::errc() && end == last) {
                out = Value::Integer(value);
                return true;
            }
        }
        double value = 0;
        const auto [end, failure] = std::from_chars(first, last, value);
        if (failure != std::errc() || end != last) return Fail("a number out of range");
        out = Value::Number(value);
        return true;
    }

    std::string_view text_;
    ParseLimits limits_;
    size_t at_ = 0;
    std::string error_;
};

}  // namespace

bool Parse(std::string_view text, Value& out, std::string& error, ParseLimits limits) {
    Parser parser(text, limits);
    Value value;
    if (!parser.Document(value, error)) return false;
    out = std::move(value);
    return true;
}

}  // namespace tallyx::json
