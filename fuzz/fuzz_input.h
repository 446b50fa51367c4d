#pragma once
// Reads a fuzz input as a little script: bytes, numbers, texts and lines are
// taken from the front, and once the input is used up every read gives zeros
// or empty texts, so a target never has to check what is left.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tallyx::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return position_ >= size_; }
    size_t Left() const { return Empty() ? 0 : size_ - position_; }
    const uint8_t* Rest() const { return data_ + position_; }

    uint8_t Byte() { return Empty() ? 0 : data_[position_++]; }
    uint16_t Word() {
        const uint16_t high = Byte();
        return static_cast<uint16_t>(high << 8 | Byte());
    }

    // Up to count bytes as they are (zero bytes included).
    std::string Bytes(size_t count) {
        if (count > Left()) count = Left();
        std::string bytes(reinterpret_cast<const char*>(Rest()), count);
        position_ += count;
        return bytes;
    }

    // The bytes up to the next zero byte or the end; the zero is consumed.
    std::string Text() {
        std::string text;
        while (!Empty()) {
            const char c = static_cast<char>(data_[position_++]);
            if (c == '\0') break;
            text.push_back(c);
        }
        return text;
    }

    // The bytes up to and including the next `end` byte, at most capacity of
    // them: what a receive up to a terminator into a buffer of that size gets.
    std::string Line(uint8_t end, size_t capacity) {
        std::string line;
        while (!Empty() && line.size() < capacity) {
            const uint8_t c = data_[position_++];
            line.push_back(static_cast<char>(c));
            if (c == end) break;
        }
        return line;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

}  // namespace tallyx::fuzz
