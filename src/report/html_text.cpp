#include "report/html_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "json/json_value.h"

namespace tallyx::report {

namespace {

using json::AppendUtf8;

// The length of the well-formed UTF-8 sequence at the start of text (no
// overlong forms, no surrogates, nothing above U+10FFFF); 0 when there is none.
size_t Utf8Length(std::string_view text) {
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
    }
    return length;
}

// Calls ascii(c) for each byte below 0x80 and other(code) for every other
// character, as a code point.
template <typename Ascii, typename Other>
void ForEachCharacter(std::string_view text, Ascii ascii, Other other, std::string& out) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ascii(static_cast<char>(c));
            ++i;
        } else if (const size_t length = Utf8Length(text.substr(i)); length != 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            other(c);
            ++i;
        }
    }
}

}  // namespace

std::string HtmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto replacement = [&out] { AppendUtf8(0xFFFD, out); };
    ForEachCharacter(
        text,
        [&](char c) {
            switch (c) {
                case '&': out += "&amp;"; break;
                case '<': out += "&lt;"; break;
                case '>': out += "&gt;"; break;
                case '"': out += "&quot;"; break;
                case '\'': out += "&#39;"; break;
                case '\t':
                case '\n':
                case '\r': out += ' '; break;
                default:
                    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                        replacement();
                    } else {
                        out += c;
                    }
            }
        },
        [&](unsigned char c) {
            if (c < 0xA0) {
                replacement();
            } else {
                AppendUtf8(c, out);
            }
        },
        out);
    return out;
}

std::string ScriptJson(std::string_view json) {
    std::string out;
    out.reserve(json.size() + json.size() / 16);
    ForEachCharacter(
        json,
        [&out](char c) {
            if (c == '<') {
                out += "\\u003c";
            } else {
                out += c;
            }
        },
        [&out](unsigned char c) { AppendUtf8(c, out); }, out);
    return out;
}

namespace {

// Groups the thousands of the whole part of a decimal text.
std::string GroupDigits(std::string_view text) {
    const size_t first = std::min(text.find_first_of("0123456789"), text.size());
    const size_t end = std::min(text.find('.', first), text.size());
    std::string out(text.substr(0, first));
    for (size_t at = first; at < end; ++at) {
        if (at != first && (end - at) % 3 == 0) out += ',';
        out += text[at];
    }
    out += text.substr(end);
    return out;
}

}  // namespace

std::string GroupedCount(int64_t n) { return GroupDigits(std::to_string(n)); }

std::string Fixed(double value, int digits) {
    if (!std::isfinite(value)) return "-";
    char text[400];
    const auto [end, failure] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
    if (failure != std::errc()) return "-";
    std::string out(text, end);
    if (out.find_first_not_of("-0.") == std::string::npos && out[0] == '-') out.erase(0, 1);  // no "-0.0"
    return GroupDigits(out);
}

}  // namespace tallyx::report
