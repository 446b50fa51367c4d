// The XML writer: layout in both modes, attributes, the fit rule and safety
// against bad input. Every writer works on a heap buffer with guard bytes
// behind its capacity, which must never change.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/xml_writer.h"

namespace {

using tallyx::XmlWriter;

constexpr size_t kGuard = 32;
constexpr char kGuardByte = '#';

class Buffer {
public:
    explicit Buffer(uint32_t capacity, const std::string& text = "", bool pretty = false, uint32_t depth = 0)
        : bytes_(capacity + kGuard, kGuardByte) {
        if (capacity > 0) {
            std::memset(bytes_.data(), 'z', capacity);
            std::memcpy(bytes_.data(), text.c_str(), std::min<size_t>(text.size() + 1, capacity));
        }
        writer.buffer = bytes_.data();
        writer.capacity = capacity;
        writer.pretty = pretty ? 1 : 0;
        writer.depth = depth;
    }
    std::string Text() const { return std::string(bytes_.data(), strnlen(bytes_.data(), writer.capacity)); }
    bool GuardIntact() const {
        for (size_t i = writer.capacity; i < bytes_.size(); ++i)
            if (bytes_[i] != kGuardByte) return false;
        return true;
    }
    char* Data() { return bytes_.data(); }

    XmlWriter writer;

private:
    std::vector<char> bytes_;
};

void WriteSampleTree(XmlWriter& w) {
    ASSERT_TRUE(w.OpenElement("A"));
    ASSERT_TRUE(w.OpenElement("B"));
    ASSERT_TRUE(w.AddText("x"));
    ASSERT_TRUE(w.CloseElement("B"));
    ASSERT_TRUE(w.OpenElement("C"));
    ASSERT_TRUE(w.OpenElement("D"));
    ASSERT_TRUE(w.CloseElement("D"));
    ASSERT_TRUE(w.CloseElement("C"));
    ASSERT_TRUE(w.CloseElement("A"));
}

TEST(XmlWriterLayout, CompactModeWritesElementsBackToBack) {
    Buffer b(256);
    WriteSampleTree(b.writer);
    EXPECT_EQ(b.Text(), "<A><B>x</B><C><D></D></C></A>");
    EXPECT_EQ(b.writer.depth, 0u);
}

TEST(XmlWriterLayout, PrettyModeIndentsChildrenAndKeepsTextOnTheOpeningLine) {
    Buffer b(256, "", true);
    WriteSampleTree(b.writer);
    EXPECT_EQ(b.Text(), "<A>\n  <B>x</B>\n  <C>\n    <D></D>\n  </C>\n</A>\n");
    EXPECT_EQ(b.writer.depth, 0u);
}

TEST(XmlWriterLayout, NumberElementsAndNumbersAreDecimal) {
    Buffer b(256, "", true);
    XmlWriter& w = b.writer;
    ASSERT_TRUE(w.OpenElement("BINS"));
    ASSERT_TRUE(w.OpenNumberElement(0));
    ASSERT_TRUE(w.AddNumber(4294967295u));
    ASSERT_TRUE(w.CloseNumberElement(0));
    ASSERT_TRUE(w.OpenNumberElement(12));
    ASSERT_TRUE(w.AddNumber(0));
    ASSERT_TRUE(w.CloseNumberElement(12));
    ASSERT_TRUE(w.CloseElement("BINS"));
    EXPECT_EQ(b.Text(), "<BINS>\n  <0>4294967295</0>\n  <12>0</12>\n</BINS>\n");
}

TEST(XmlWriterLayout, TextIsWrittenWithoutEscaping) {
    Buffer b(256);
    ASSERT_TRUE(b.writer.OpenElement("S"));
    ASSERT_TRUE(b.writer.AddText("a<b & \"c\" >d"));
    ASSERT_TRUE(b.writer.CloseElement("S"));
    EXPECT_EQ(b.Text(), "<S>a<b & \"c\" >d</S>");
}

TEST(XmlWriterLayout, PrettyWritingGoesOnAfterTheCallerEmptiesTheBuffer) {
    // Long documents are written out piecewise: the next piece starts at the
    // indentation of the elements still open.
    Buffer b(256, "", true);
    XmlWriter& w = b.writer;
    ASSERT_TRUE(w.OpenElement("ROOT"));
    ASSERT_TRUE(w.OpenElement("R"));
    ASSERT_TRUE(w.CloseElement("R"));
    b.Data()[0] = '\0';
    ASSERT_TRUE(w.OpenElement("R"));
    ASSERT_TRUE(w.CloseElement("R"));
    ASSERT_TRUE(w.CloseElement("ROOT"));
    EXPECT_EQ(b.Text(), "  <R></R>\n</ROOT>\n");
}

TEST(XmlWriterAttributes, GoIntoTheRootTagInTheOrderAdded) {
    for (bool pretty : {false, true}) {
        Buffer b(256, "", pretty);
        XmlWriter& w = b.writer;
        ASSERT_TRUE(w.OpenElement("READ"));
        ASSERT_TRUE(w.AddAttribute("TimeStamp", "2009-03-07 14:05:09.042"));
        ASSERT_TRUE(w.AddAttribute("NumRecs", "3"));
        ASSERT_TRUE(w.CloseElement("READ"));
        EXPECT_EQ(b.Text(), std::string("<READ TimeStamp=\"2009-03-07 14:05:09.042\" NumRecs=\"3\"></READ>") +
                                (pretty ? "\n" : ""));
    }
}

TEST(XmlWriterAttributes, GoIntoTheLastOpeningTagEvenAfterItWasClosed) {
    Buffer b(256, "", true);
    XmlWriter& w = b.writer;
    ASSERT_TRUE(w.OpenElement("A"));
    ASSERT_TRUE(w.OpenElement("B"));
    ASSERT_TRUE(w.CloseElement("B"));
    ASSERT_TRUE(w.AddAttribute("k", "v"));
    EXPECT_EQ(b.Text(), "<A>\n  <B k=\"v\"></B>\n");
    ASSERT_TRUE(w.OpenElement("C"));
    ASSERT_TRUE(w.AddAttribute("RecNum", "1"));
    EXPECT_EQ(b.Text(), "<A>\n  <B k=\"v\"></B>\n  <C RecNum=\"1\">");
}

TEST(XmlWriterAttributes, FailWithoutAnOpeningTag) {
    const char* texts[] = {"", "plain text", "</A></B>", "text <A", "<"};
    for (const char* text : texts) {
        Buffer b(64, text);
        EXPECT_FALSE(b.writer.AddAttribute("k", "v")) << text;
        EXPECT_EQ(b.Text(), text);
    }
}

// One operation at the edge of the fit rule: with exactly enough room it
// succeeds and writes `after`; with one byte less it fails, leaving `partial`.
struct FitCase {
    const char* label;
    const char* before;
    bool pretty;
    uint32_t depth;
    std::function<bool(XmlWriter&)> operation;
    const char* after;
    uint32_t depthAfter;
    const char* partial;
    uint32_t depthAfterFailure;
};

TEST(XmlWriterFitRule, EveryOperationAtExactlyEnoughAndOneByteShort) {
    const FitCase cases[] = {
        {"open compact", "", false, 0, [](XmlWriter& w) { return w.OpenElement("abc"); }, "<abc>", 1, "", 0},
        {"open pretty keeps its line break and indentation", "<A>", true, 1,
         [](XmlWriter& w) { return w.OpenElement("B"); }, "<A>\n  <B>", 2, "<A>\n  ", 1},
        {"open number", "<A>", false, 1, [](XmlWriter& w) { return w.OpenNumberElement(42); }, "<A><42>", 2,
         "<A>", 1},
        {"close lowers the depth even when it fails", "<A>x", false, 1,
         [](XmlWriter& w) { return w.CloseElement("A"); }, "<A>x</A>", 0, "<A>x", 0},
        {"close pretty keeps its tag when the line feed does not fit", "<A>\n  <B>\n    <C></C>\n", true, 2,
         [](XmlWriter& w) { return w.CloseElement("B"); }, "<A>\n  <B>\n    <C></C>\n  </B>\n", 1,
         "<A>\n  <B>\n    <C></C>\n  </B>", 1},
        {"close number", "<A><7>", false, 2, [](XmlWriter& w) { return w.CloseNumberElement(7); },
         "<A><7></7>", 1, "<A><7>", 1},
        {"text", "<A>", false, 1, [](XmlWriter& w) { return w.AddText("hello"); }, "<A>hello", 1, "<A>", 1},
        {"number", "<A>", false, 1, [](XmlWriter& w) { return w.AddNumber(4294967295u); }, "<A>4294967295", 1,
         "<A>", 1},
        {"attribute", "<A></A>", false, 0, [](XmlWriter& w) { return w.AddAttribute("k", "v"); },
         "<A k=\"v\"></A>", 0, "<A></A>", 0},
        {"newline", "<A>", true, 1, [](XmlWriter& w) { return w.AddNewline(); }, "<A>\n", 1, "<A>", 1},
        {"indent", "", true, 3, [](XmlWriter& w) { return w.AddIndent(); }, "      ", 3, "", 3},
    };
    for (const FitCase& c : cases) {
        SCOPED_TRACE(c.label);
        const uint32_t enough = static_cast<uint32_t>(std::strlen(c.after) + 1);

        Buffer exact(enough, c.before, c.pretty, c.depth);
        EXPECT_TRUE(c.operation(exact.writer));
        EXPECT_EQ(exact.Text(), c.after);
        EXPECT_EQ(exact.writer.depth, c.depthAfter);
        EXPECT_TRUE(exact.GuardIntact());

        Buffer shortOne(enough - 1, c.before, c.pretty, c.depth);
        EXPECT_FALSE(c.operation(shortOne.writer));
        EXPECT_EQ(shortOne.Text(), c.partial);
        EXPECT_EQ(shortOne.writer.depth, c.depthAfterFailure);
        EXPECT_TRUE(shortOne.GuardIntact());
    }
}

TEST(XmlWriterFitRule, CapacityFiveTakesATwoLetterTagButNotAThreeLetterOne) {
    Buffer two(5);
    EXPECT_TRUE(two.writer.OpenElement("ab"));
    EXPECT_EQ(two.Text(), "<ab>");
    Buffer three(5);
    EXPECT_FALSE(three.writer.OpenElement("abc"));
    EXPECT_EQ(three.Text(), "");
    EXPECT_EQ(three.writer.depth, 0u);
}

TEST(XmlWriterFitRule, FormattedPiecesAreLimitedTo1023Characters) {
    Buffer b(8192);
    XmlWriter& w = b.writer;
    EXPECT_TRUE(w.OpenElement(std::string(1021, 'n').c_str()));  // "<" + 1021 + ">" = 1023
    EXPECT_FALSE(w.OpenElement(std::string(1022, 'n').c_str()));
    EXPECT_EQ(w.depth, 1u);
    ASSERT_TRUE(w.OpenElement("x"));
    const std::string before = b.Text();
    EXPECT_FALSE(w.CloseElement(std::string(1021, 'n').c_str()));
    EXPECT_EQ(b.Text(), before);
    EXPECT_EQ(w.depth, 1u);
    EXPECT_TRUE(w.CloseElement(std::string(1020, 'n').c_str()));  // "</" + 1020 + ">" = 1023
    EXPECT_EQ(w.depth, 0u);

    Buffer a(8192, "<A>");
    // " " + name + "=\"" + value + "\"" is 4 characters around name and value.
    EXPECT_TRUE(a.writer.AddAttribute("k", std::string(1018, 'v').c_str()));
    EXPECT_FALSE(a.writer.AddAttribute("k", std::string(1019, 'v').c_str()));
    EXPECT_EQ(a.Text().size(), 3u + 1023u);

    // Plain text is copied, not formatted: it is limited only by the buffer.
    Buffer t(8192);
    EXPECT_TRUE(t.writer.AddText(std::string(4000, 't').c_str()));
    EXPECT_EQ(t.Text().size(), 4000u);
}

TEST(XmlWriterSafety, ClosingMoreThanWasOpenedIsRefused) {
    for (bool pretty : {false, true}) {
        Buffer b(64, "", pretty);
        XmlWriter& w = b.writer;
        EXPECT_FALSE(w.CloseElement("X"));
        EXPECT_EQ(b.Text(), "");
        EXPECT_EQ(w.depth, 0u);

        ASSERT_TRUE(w.OpenElement("A"));
        ASSERT_TRUE(w.CloseElement("A"));
        const std::string balanced = b.Text();
        EXPECT_FALSE(w.CloseElement("A"));
        EXPECT_FALSE(w.CloseNumberElement(1));
        EXPECT_EQ(b.Text(), balanced);
        EXPECT_EQ(w.depth, 0u);

        // The writer goes on as if nothing happened: no indentation from a wrapped depth.
        ASSERT_TRUE(w.OpenElement("B"));
        EXPECT_EQ(b.Text(), balanced + "<B>");
        EXPECT_TRUE(b.GuardIntact());
    }
}

TEST(XmlWriterSafety, HugeDepthFailsWithoutWritingPastTheBuffer) {
    Buffer b(64, "<A>", true, 0xFFFFFFF0u);
    EXPECT_FALSE(b.writer.AddIndent());
    EXPECT_FALSE(b.writer.OpenElement("B"));
    EXPECT_EQ(b.Text(), "<A>\n");
    EXPECT_TRUE(b.GuardIntact());

    Buffer top(64, "", false, 0xFFFFFFFFu);
    EXPECT_FALSE(top.writer.OpenElement("B"));
    EXPECT_EQ(top.writer.depth, 0xFFFFFFFFu);
}

TEST(XmlWriterSafety, ABufferWithoutATerminatorWithinItsCapacityIsLeftAlone) {
    Buffer b(8, "", true, 1);
    std::memset(b.Data(), 'q', 8);
    XmlWriter& w = b.writer;
    EXPECT_FALSE(w.OpenElement("A"));
    EXPECT_FALSE(w.CloseElement("A"));
    EXPECT_FALSE(w.AddText("t"));
    EXPECT_FALSE(w.AddNumber(1));
    EXPECT_FALSE(w.AddNewline());
    EXPECT_FALSE(w.AddIndent());
    EXPECT_FALSE(w.AddAttribute("k", "v"));
    EXPECT_EQ(std::string(b.Data(), 8), "qqqqqqqq");
    EXPECT_TRUE(b.GuardIntact());
}

TEST(XmlWriterSafety, MissingBufferOrArgumentsFail) {
    XmlWriter none;
    EXPECT_FALSE(none.OpenElement("A"));
    EXPECT_FALSE(none.AddText("t"));
    EXPECT_FALSE(none.AddNewline());

    Buffer empty(0);
    EXPECT_FALSE(empty.writer.OpenElement("A"));
    EXPECT_FALSE(empty.writer.AddNumber(5));
    EXPECT_TRUE(empty.GuardIntact());

    Buffer b(64, "<A>", false, 1);
    EXPECT_FALSE(b.writer.OpenElement(nullptr));
    EXPECT_FALSE(b.writer.AddText(nullptr));
    EXPECT_FALSE(b.writer.AddAttribute(nullptr, "v"));
    EXPECT_FALSE(b.writer.AddAttribute("k", nullptr));
    EXPECT_EQ(b.Text(), "<A>");
    EXPECT_EQ(b.writer.depth, 1u);
}

TEST(XmlWriterSafety, TextTakenFromTheBufferItselfIsCopiedIntact) {
    Buffer b(64, "<A>");
    ASSERT_TRUE(b.writer.AddText(b.Data()));
    EXPECT_EQ(b.Text(), "<A><A>");
}

}  // namespace
