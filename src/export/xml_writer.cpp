#include "export/xml_writer.h"

#include <cstdio>
#include <cstring>

namespace tallyx {

namespace {

constexpr char kIndentUnit[] = "  ";
constexpr size_t kIndentUnitLength = sizeof kIndentUnit - 1;

// Work area for one formatted piece: at most XmlWriter::kMaxPieceLength
// characters. A piece that would be longer marks itself as overflowed.
class Piece {
public:
    void Add(const char* text) {
        if (text == nullptr) {
            overflow_ = true;
            return;
        }
        size_t room = XmlWriter::kMaxPieceLength - length_;
        size_t textLength = strnlen(text, room + 1);
        if (textLength > room) {
            overflow_ = true;
            return;
        }
        std::memcpy(text_ + length_, text, textLength);
        length_ += textLength;
        text_[length_] = '\0';
    }
    void AddNumber(uint32_t number) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(number));
        Add(digits);
    }
    bool Ok() const { return !overflow_; }
    const char* Text() const { return text_; }
    size_t Length() const { return length_; }

private:
    char text_[XmlWriter::kMaxPieceLength + 1] = {};
    size_t length_ = 0;
    bool overflow_ = false;
};

}  // namespace

bool XmlWriter::TextLength(size_t& length) const {
    if (buffer == nullptr || capacity == 0) return false;
    length = strnlen(buffer, capacity);
    return length < capacity;
}

bool XmlWriter::Fits(size_t length, size_t added) const {
    // 64-bit sums: neither a huge depth nor a long text can wrap around.
    return static_cast<uint64_t>(length) + added + 1 <= capacity;
}

bool XmlWriter::Append(const char* piece, size_t pieceLength) {
    size_t length = 0;
    if (!TextLength(length) || !Fits(length, pieceLength)) return false;
    std::memmove(buffer + length, piece, pieceLength);
    buffer[length + pieceLength] = '\0';
    return true;
}

bool XmlWriter::AppendTag(const char* open, const char* name) {
    Piece tag;
    tag.Add(open);
    tag.Add(name);
    tag.Add(">");
    if (!tag.Ok()) return false;
    return Append(tag.Text(), tag.Length());
}

bool XmlWriter::AddIndentFor(uint32_t levels) {
    size_t length = 0;
    if (!TextLength(length)) return false;
    if (!pretty || levels == 0) return true;
    uint64_t added = static_cast<uint64_t>(levels) * kIndentUnitLength;
    if (!Fits(length, added)) return false;
    std::memset(buffer + length, ' ', added);
    buffer[length + added] = '\0';
    return true;
}

bool XmlWriter::AddIndent() { return AddIndentFor(depth); }

bool XmlWriter::AddNewline() {
    size_t length = 0;
    if (!TextLength(length)) return false;
    if (!pretty) return true;
    return Append("\n", 1);
}

bool XmlWriter::OpenElement(const char* name) {
    size_t length = 0;
    if (!TextLength(length)) return false;
    if (depth == UINT32_MAX) return false;
    if (length > 0 && buffer[length - 1] != '\n' && !AddNewline()) return false;
    if (pretty && depth > 0 && !AddIndent()) return false;
    if (!AppendTag("<", name)) return false;
    ++depth;
    return true;
}

bool XmlWriter::CloseElement(const char* name) {
    // A close without an open element would take the depth below zero; it is
    // refused so the document is not disturbed and the depth stays sane.
    if (depth == 0) return false;
    --depth;
    size_t length = 0;
    if (!TextLength(length)) return false;
    // After child elements the text ends with a line feed: the closing tag
    // then starts its own line at its element's indentation.
    if (pretty && length > 0 && buffer[length - 1] == '\n' && depth > 0 && !AddIndent()) return false;
    if (!AppendTag("</", name)) return false;
    return AddNewline();
}

bool XmlWriter::OpenNumberElement(uint32_t number) {
    char name[16];
    std::snprintf(name, sizeof name, "%u", static_cast<unsigned>(number));
    return OpenElement(name);
}

bool XmlWriter::CloseNumberElement(uint32_t number) {
    char name[16];
    std::snprintf(name, sizeof name, "%u", static_cast<unsigned>(number));
    return CloseElement(name);
}

bool XmlWriter::AddText(const char* text) {
    if (text == nullptr) return false;
    // Nothing longer than the capacity can fit, so the text is measured no further.
    return Append(text, strnlen(text, capacity));
}

bool XmlWriter::AddNumber(uint32_t number) {
    Piece piece;
    piece.AddNumber(number);
    return Append(piece.Text(), piece.Length());
}

bool XmlWriter::AddAttribute(const char* name, const char* value) {
    size_t length = 0;
    if (!TextLength(length) || length == 0) return false;

    // The last '<' that does not start a closing tag opens the tag to extend.
    size_t open = length;
    for (size_t i = length; i-- > 0;) {
        if (buffer[i] == '<' && buffer[i + 1] != '/') {
            open = i;
            break;
        }
    }
    if (open == length) return false;
    const char* close = static_cast<const char*>(std::memchr(buffer + open, '>', length - open));
    if (close == nullptr) return false;
    size_t insertAt = static_cast<size_t>(close - buffer);

    Piece attribute;
    attribute.Add(" ");
    attribute.Add(name);
    attribute.Add("=\"");
    attribute.Add(value);
    attribute.Add("\"");
    if (!attribute.Ok() || !Fits(length, attribute.Length())) return false;

    std::memmove(buffer + insertAt + attribute.Length(), buffer + insertAt, length - insertAt + 1);
    std::memcpy(buffer + insertAt, attribute.Text(), attribute.Length());
    return true;
}

}  // namespace tallyx
