// Drives the XML writer with random operations over a buffer of random size.
// The buffer is allocated with exactly its capacity, so any write or read
// past it is caught by AddressSanitizer; after every operation the text must
// still be terminated inside the buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "export/xml_writer.h"

namespace {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return position_ >= size_; }
    uint8_t Byte() { return Empty() ? 0 : data_[position_++]; }
    uint32_t Word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
        return value;
    }
    // A text of a length taken from the input; some reach past the 1023-character piece limit.
    std::string Text() {
        size_t length = Byte();
        if (length >= 250) length = 1000 + (length - 250) * 6;
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            char c = static_cast<char>(Empty() ? 'a' + i % 26 : Byte());
            text.push_back(c == '\0' ? '<' : c);
        }
        return text;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const uint32_t high = in.Byte();
    const uint32_t capacity = (high << 8 | in.Byte()) % 3000;
    char* buffer = capacity > 0 ? new char[capacity] : nullptr;
    if (capacity > 0) buffer[0] = '\0';

    tallyx::XmlWriter writer;
    writer.buffer = buffer;
    writer.capacity = capacity;
    writer.pretty = in.Byte() & 1;
    writer.depth = in.Byte() % 4;
    bool terminated = capacity > 0;

    while (!in.Empty()) {
        switch (in.Byte() % 13) {
            case 0: writer.OpenElement(in.Text().c_str()); break;
            case 1: writer.CloseElement(in.Text().c_str()); break;
            case 2: writer.OpenNumberElement(in.Word()); break;
            case 3: writer.CloseNumberElement(in.Word()); break;
            case 4: writer.AddText(in.Text().c_str()); break;
            case 5: writer.AddNumber(in.Word()); break;
            case 6: {
                std::string name = in.Text();
                writer.AddAttribute(name.c_str(), in.Text().c_str());
                break;
            }
            case 7: writer.AddIndent(); break;
            case 8: writer.AddNewline(); break;
            case 9:
                if (capacity > 0) buffer[0] = '\0';
                terminated = capacity > 0;
                break;
            case 10: writer.depth = in.Word(); break;
            case 11: writer.pretty = in.Byte() & 1; break;
            case 12:
                // A caller that forgot the terminator: the writer must not touch or overrun it.
                if (capacity > 0) std::memset(buffer, 'x', capacity);
                terminated = false;
                break;
        }
        if (terminated && strnlen(buffer, capacity) >= capacity) __builtin_trap();
    }
    delete[] buffer;
    return 0;
}
