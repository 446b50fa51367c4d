#include "server/access_token.h"

#include <cstdint>
#include <random>

namespace tallyx::server {

std::string NewAccessToken() {
    // The system's source of randomness on both systems (the kernel's on Linux,
    // the crypto provider's on Windows).
    std::random_device source;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string token;
    for (int word = 0; word < 4; ++word) {
        const uint32_t bits = source();
        for (int shift = 28; shift >= 0; shift -= 4) token += kDigits[(bits >> shift) & 0xF];
    }
    return token;
}

bool SameToken(std::string_view a, std::string_view b) {
    if (a.size() != b.size() || a.empty()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace tallyx::server
