#include "ui/request_fields.h"

#include "cli/port_argument.h"

namespace tallyx::ui {

bool RequestFields::Refuse(const std::string& field, const std::string& message) {
    refusal_ = server::Response::Error(400, message, field);
    return false;
}

bool RequestFields::Parse(const server::Request& request, std::initializer_list<std::string_view> allowed) {
    if (request.contentType.rfind("application/json", 0) != 0)
        return Refuse("Content-Type", "the request body must be JSON (Content-Type: application/json)");
    std::string error;
    json::ParseLimits limits;
    limits.maxDepth = 8;
    if (!json::Parse(request.body, body_, error, limits)) return Refuse("body", "the request body is not JSON: " + error);
    if (!body_.IsObject()) return Refuse("body", "the request body must be a JSON object");
    if (const std::string* unknown = json::UnknownMember(body_, allowed))
        return Refuse(*unknown, "'" + *unknown + "' is not a field of this request");
    return true;
}

bool ParsePortName(const std::string& name, uint32_t& com, std::string& error) {
    com = 0;
    bool digits = name.size() > 3 && name.size() <= 6 && name.compare(0, 3, "COM") == 0;
    for (size_t i = 3; digits && i < name.size(); ++i) digits = name[i] >= '0' && name[i] <= '9';
    if (digits) com = static_cast<uint32_t>(std::stoul(name.substr(3)));
    if (!digits || com == 0 || com > cli::kHighestComNumber) {
        error = "a port is named COM1 to COM" + std::to_string(cli::kHighestComNumber);
        return false;
    }
    if (cli::ExistingDevice(com).empty()) {
        error = name + " does not exist on this machine";
        return false;
    }
    return true;
}

bool RequestFields::Port(uint32_t& com) {
    std::string name;
    if (!Text("port", name, 16, true)) return false;
    std::string error;
    return ParsePortName(name, com, error) || Refuse("port", error);
}

bool RequestFields::Bool(std::string_view name, bool& out, bool required) {
    const json::Value* value = body_.Find(name);
    if (value == nullptr) return !required || Refuse(std::string(name), std::string(name) + " is needed");
    if (!value->IsBool()) return Refuse(std::string(name), std::string(name) + " must be true or false");
    out = value->AsBool();
    return true;
}

bool RequestFields::Text(std::string_view name, std::string& out, size_t maxLength, bool required) {
    const json::Value* value = body_.Find(name);
    if (value == nullptr) return !required || Refuse(std::string(name), std::string(name) + " is needed");
    if (!value->IsString()) return Refuse(std::string(name), std::string(name) + " must be a text");
    if (value->AsString().size() > maxLength)
        return Refuse(std::string(name), std::string(name) + " is longer than " + std::to_string(maxLength) + " characters");
    out = value->AsString();
    return true;
}

}  // namespace tallyx::ui
