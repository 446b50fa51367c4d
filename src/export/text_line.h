#pragma once
// Builds one line of text in a caller's fixed buffer, piece by piece, without
// going through printf: the value export writes hundreds of thousands of lines.
//
// A piece is appended only when the text so far, the piece and the
// terminating zero fit into the buffer; the first piece that does not fit
// marks the line as overflowed and every later piece is ignored. The buffer
// always holds a terminated text.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "time/date_time.h"

namespace tallyx {

class TextLine {
public:
    // A size of 0 (or a null buffer) makes a line that overflows at once.
    TextLine(char* buffer, uint32_t size) : buffer_(buffer), size_(buffer != nullptr ? size : 0) {
        if (size_ != 0) buffer_[0] = '\0';
        else ok_ = false;
    }

    bool Ok() const { return ok_; }
    uint32_t Length() const { return length_; }
    // Room left for a piece and the terminating zero.
    uint32_t Room() const { return ok_ ? size_ - length_ : 0; }

    bool Append(const char* text, size_t count) {
        if (!ok_) return false;
        if (count >= static_cast<size_t>(size_ - length_)) {
            ok_ = false;
            return false;
        }
        std::memcpy(buffer_ + length_, text, count);
        length_ += static_cast<uint32_t>(count);
        buffer_[length_] = '\0';
        return true;
    }
    bool Append(const char* text) { return Append(text, std::strlen(text)); }
    bool AppendChar(char c) { return Append(&c, 1); }

    // Decimal, padded with zeros to at least minDigits digits ("%0*u").
    bool AppendUnsigned(uint32_t value, uint32_t minDigits = 1) {
        char digits[16];
        size_t count = 0;
        do {
            digits[sizeof digits - 1 - count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 || count < minDigits);
        return Append(digits + sizeof digits - count, count);
    }

    bool AppendSigned(int32_t value) {
        if (value >= 0) return AppendUnsigned(static_cast<uint32_t>(value));
        if (!AppendChar('-')) return false;
        return AppendUnsigned(0u - static_cast<uint32_t>(value));
    }

    // The date-and-time text form with milliseconds, the same text as
    // DateTime::Format(DTF_DATE | DTF_TIME): "%d-%02d-%02d %02d:%02d:%02d.%03d".
    bool AppendTime(const DateTime& time) {
        char text[DateTime::kFormatBufferSize];
        TextLine part(text, sizeof text);
        part.AppendUnsigned(time.Year);
        part.AppendChar('-');
        part.AppendUnsigned(time.Month, 2);
        part.AppendChar('-');
        part.AppendUnsigned(time.Day, 2);
        part.AppendChar(' ');
        part.AppendUnsigned(time.Hour, 2);
        part.AppendChar(':');
        part.AppendUnsigned(time.Minute, 2);
        part.AppendChar(':');
        part.AppendUnsigned(time.Second, 2);
        part.AppendChar('.');
        part.AppendUnsigned(time.Milliseconds, 3);
        return Append(text, part.Length());
    }

private:
    char* buffer_;
    uint32_t size_;
    uint32_t length_ = 0;
    bool ok_ = true;
};

}  // namespace tallyx
