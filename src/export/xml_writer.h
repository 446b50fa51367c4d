#pragma once
// A small XML writer that appends to a fixed, caller-owned character buffer.
//
// The writer never grows the buffer: an addition is made only if the current
// text, the added characters and the terminating NUL fit in `capacity` bytes,
// otherwise the operation returns false at that point (additions the same
// operation made before, such as a line break, stay). Texts and attribute
// values are copied as they are, without escaping: documents built with it
// (including the one stored in model B counters) rely on that.
#include <cstddef>
#include <cstdint>

namespace tallyx {

struct XmlWriter {
    // Formatted pieces (tags, numbers, attributes) may be at most this long.
    static constexpr uint32_t kMaxPieceLength = 1023;

    // The caller sets these directly. The buffer must hold a NUL-terminated
    // text within its capacity; the caller empties it by writing a NUL at the
    // start. A buffer without a NUL inside its capacity makes every operation
    // fail without touching it.
    char* buffer = nullptr;
    uint32_t capacity = 0;
    int32_t pretty = 0;
    uint32_t depth = 0;

    // Pretty mode: two spaces per open element / one line feed. Otherwise nothing.
    bool AddIndent();
    bool AddNewline();

    // Opens "<name>" on a new line at the current indentation (pretty mode).
    bool OpenElement(const char* name);
    // Closes "</name>", on its own indented line when it follows child
    // elements (pretty mode), then a line feed (pretty mode). Closing with no
    // element open is refused: nothing is written and `depth` stays 0.
    bool CloseElement(const char* name);
    bool OpenNumberElement(uint32_t number);
    bool CloseNumberElement(uint32_t number);

    bool AddText(const char* text);
    bool AddNumber(uint32_t number);

    // Inserts ` name="value"` before the '>' of the last opening tag in the text.
    bool AddAttribute(const char* name, const char* value);

private:
    // Length of the current text; false when the buffer holds no valid text.
    bool TextLength(size_t& length) const;
    bool Fits(size_t length, size_t added) const;
    bool Append(const char* piece, size_t pieceLength);
    bool AppendTag(const char* format, const char* name);
    bool AddIndentFor(uint32_t levels);
};

}  // namespace tallyx
