#pragma once
// The frames in which a test program on Linux and the DLL server under Wine exchange calls of
// the library's exports: a frame is a 32-bit little-endian length, then that many bytes holding
// fields, each a 32-bit little-endian length and its bytes. The first field names the frame:
// an export's name (a call), "ret" (its result), or "cb" (a callback of the library).
#include <cstdint>
#include <string>
#include <vector>

namespace tallyx::wine {

using Frame = std::vector<std::string>;

// Frames larger than this are refused: both sides would otherwise trust a length from a pipe.
constexpr uint32_t kLargestFrame = 64u << 20;

inline void AppendLength(std::string& out, uint32_t length) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((length >> shift) & 0xFF));
}

inline uint32_t LengthAt(const char* bytes) {
    uint32_t length = 0;
    for (int i = 3; i >= 0; --i) length = (length << 8) | static_cast<unsigned char>(bytes[i]);
    return length;
}

inline std::string EncodeFrame(const Frame& fields) {
    std::string body;
    for (const std::string& field : fields) {
        AppendLength(body, static_cast<uint32_t>(field.size()));
        body += field;
    }
    std::string frame;
    AppendLength(frame, static_cast<uint32_t>(body.size()));
    return frame + body;
}

// Reads one frame through readExactly(buffer, size), which fills the buffer whole or returns
// false. False at the end of the input or on a malformed frame.
template <typename ReadExactly>
bool DecodeFrame(ReadExactly readExactly, Frame* fields) {
    fields->clear();
    char header[4];
    if (!readExactly(header, sizeof header)) return false;
    const uint32_t size = LengthAt(header);
    if (size > kLargestFrame) return false;
    std::string body(size, '\0');
    if (size > 0 && !readExactly(body.data(), size)) return false;
    for (size_t at = 0; at < body.size();) {
        if (body.size() - at < 4) return false;
        const uint32_t length = LengthAt(body.data() + at);
        at += 4;
        if (length > body.size() - at) return false;
        fields->emplace_back(body, at, length);
        at += length;
    }
    return true;
}

}  // namespace tallyx::wine
