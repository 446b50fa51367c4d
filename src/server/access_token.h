#pragma once
// The secret that opens the application: 128 random bits as 32 hexadecimal
// digits, compared in time that does not depend on where two texts differ.
#include <string>
#include <string_view>

namespace tallyx::server {

std::string NewAccessToken();
bool SameToken(std::string_view a, std::string_view b);

}  // namespace tallyx::server
