#include "json/json_value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tallyx::json {

Value Value::Bool(bool value) {
    Value v;
    v.kind_ = Kind::kBool;
    v.boolean_ = value;
    return v;
}

Value Value::Number(double value) {
    Value v;
    v.kind_ = Kind::kNumber;
    v.number_ = value;
    return v;
}

Value Value::Integer(int64_t value) {
    Value v;
    v.kind_ = Kind::kNumber;
    v.integral_ = true;
    v.integer_ = value;
    v.number_ = static_cast<double>(value);
    return v;
}

Value Value::String(std::string value) {
    Value v;
    v.kind_ = Kind::kString;
    v.text_ = std::move(value);
    return v;
}

Value Value::Array() {
    Value v;
    v.kind_ = Kind::kArray;
    return v;
}

Value Value::Object() {
    Value v;
    v.kind_ = Kind::kObject;
    return v;
}

const Value* Value::Find(std::string_view name) const {
    for (const Member& member : members_) {
        if (member.first == name) return &member.second;
    }
    return nullptr;
}

std::string Value::Text(std::string_view name, std::string_view fallback) const {
    const Value* found = Find(name);
    return found != nullptr && found->IsString() ? found->text_ : std::string(fallback);
}

Value& Value::Add(Value item) {
    items_.push_back(std::move(item));
    return items_.back();
}

Value& Value::Set(std::string name, Value value) {
    for (Member& member : members_) {
        if (member.first == name) {
            member.second = std::move(value);
            return member.second;
        }
    }
    members_.emplace_back(std::move(name), std::move(value));
    return members_.back().second;
}

std::string Quote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string FormatNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char text[64];
    const auto [end, failure] = std::to_chars(text, text + sizeof text, value);
    if (failure != std::errc()) return "null";
    std::string out(text, end);
    if (out.find_first_of(".eEn") == std::string::npos) out += ".0";
    return out;
}

namespace {

void WriteValue(const Value& value, int indent, int depth, std::string& out) {
    auto newline = [&](int level) {
        if (indent == 0) return;
        out += '\n';
        out.append(static_cast<size_t>(indent * level), ' ');
    };
    switch (value.kind()) {
        case Value::Kind::kNull: out += "null"; break;
        case Value::Kind::kBool: out += value.AsBool() ? "true" : "false"; break;
        case Value::Kind::kNumber:
            out += value.IsInteger() ? std::to_string(value.AsInteger()) : FormatNumber(value.AsNumber());
            break;
        case Value::Kind::kString: out += Quote(value.AsString()); break;
        case Value::Kind::kArray: {
            if (value.Items().empty()) {
                out += "[]";
                break;
            }
            out += '[';
            bool first = true;
            for (const Value& item : value.Items()) {
                if (!first) out += ',';
                first = false;
                newline(depth + 1);
                WriteValue(item, indent, depth + 1, out);
            }
            newline(depth);
            out += ']';
            break;
        }
        case Value::Kind::kObject: {
            if (value.Members().empty()) {
                out += "{}";
                break;
            }
            out += '{';
            bool first = true;
            for (const Value::Member& member : value.Members()) {
                if (!first) out += ',';
                first = false;
                newline(depth + 1);
                out += Quote(member.first);
                out += indent == 0 ? ":" : ": ";
                WriteValue(member.second, indent, depth + 1, out);
            }
            newline(depth);
            out += '}';
            break;
        }
    }
}

}  // namespace

std::string Write(const Value& value, int indent) {
    std::string out;
    WriteValue(value, indent, 0, out);
    return out;
}

const std::string* UnknownMember(const Value& object, std::initializer_list<std::string_view> allowed) {
    for (const Value::Member& member : object.Members()) {
        bool known = false;
        for (const std::string_view name : allowed) known = known || member.first == name;
        if (!known) return &member.first;
    }
    return nullptr;
}

void AppendUtf8(uint32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace tallyx::json
