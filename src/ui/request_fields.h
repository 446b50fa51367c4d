#pragma once
// The JSON bodies of the application's requests, checked strictly: an object
// with only the members a request knows, each of its type and within its range.
// Every refusal is a 400 answer whose JSON names the field.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "json/json_value.h"
#include "server/http_message.h"

namespace tallyx::ui {

class RequestFields {
public:
    // The body as an object with only the allowed members; false with the refusal set.
    bool Parse(const server::Request& request, std::initializer_list<std::string_view> allowed);

    // A port "COM<n>" that exists on this machine.
    bool Port(uint32_t& com);
    bool Bool(std::string_view name, bool& out, bool required);
    // A text of at most maxLength bytes; one of choices when choices are given.
    bool Text(std::string_view name, std::string& out, size_t maxLength, bool required);
    const json::Value* Member(std::string_view name) const { return body_.Find(name); }

    // Refuses the request for the field: 400 {"error": message, "field": field}.
    bool Refuse(const std::string& field, const std::string& message);
    const server::Response& Refusal() const { return refusal_; }

private:
    json::Value body_;
    server::Response refusal_;
};

// "COM<n>" to n for a port that exists; false with the reason.
bool ParsePortName(const std::string& name, uint32_t& com, std::string& error);

}  // namespace tallyx::ui
