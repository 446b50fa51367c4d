#pragma once
// SHA-256, for the digest that tells whether a study is already in the archive.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tallyx::archive {

class Sha256 {
public:
    Sha256();
    void Add(const void* data, size_t size);
    void Add(std::string_view text) { Add(text.data(), text.size()); }
    // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
    std::string Hex();

private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    uint8_t buffer_[64];
    size_t buffered_ = 0;
    uint64_t length_ = 0;
};

}  // namespace tallyx::archive
