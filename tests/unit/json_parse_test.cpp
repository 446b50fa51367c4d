// The JSON reader: what it takes, what it refuses and where it says the text goes wrong, and the
// writer's forms of numbers and texts that the reports and the archive's lists rely on.
#include <gtest/gtest.h>

#include <string>

#include "json/json_value.h"

namespace tallyx::json {
namespace {

TEST(JsonParse, TakesDocumentsAndRefusesWhatIsNotJsonSayingWhere) {
    const struct {
        std::string text;
        const char* written;  // the value written on one line; null: refused
        const char* error = "";
    } kCases[] = {
        {" {\"a\": [1, -2.5, true, null, \"x\"]} ", "{\"a\":[1,-2.5,true,null,\"x\"]}"},
        {"12345678901234567890", "12345678901234567168.0"},
        {"-0", "0"},
        {"1e3", "1000.0"},
        {"\"caf\\u00e9 \\ud83d\\ude00 \\n\"", "\"caf\xe9 \xf0\x9f\x98\x80 \\n\""},
        {"\"8-bit \xe9 as it is\"", "\"8-bit \xe9 as it is\""},
        {"{\"a\": 1, \"a\": 2}", nullptr, "line 1, column 10: a member name given twice"},
        {"[1, 2,]", nullptr, "not a JSON value"},
        {"{\"a\" 1}", nullptr, "':' is expected after a member name"},
        {"01", nullptr, "a number with a leading zero"},
        {"1.", nullptr, "a digit is expected after the decimal point"},
        {"\"\\ud800\"", nullptr, "a lone surrogate"},
        {"\"tab\there\"", nullptr, "a control character inside a text"},
        {"\"open", nullptr, "a text is not closed"},
        {"{}\n{}", nullptr, "line 2, column 1: text after the end of the value"},
        {"1e999", nullptr, "a number out of range"},
        {std::string(65, '[') + std::string(65, ']'), nullptr, "nested too deeply"},
        {"", nullptr, "the text ends where a value is expected"},
    };
    for (const auto& c : kCases) {
        Value value;
        std::string error;
        const bool ok = Parse(c.text, value, error);
        EXPECT_EQ(ok, c.written != nullptr) << c.text << ": " << error;
        if (ok) {
            EXPECT_EQ(Write(value), c.written) << c.text;
        } else {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
        }
    }
}

TEST(JsonWrite, NumbersReadBackAsTheSameDoubleAndWholeOnesKeepAPoint) {
    EXPECT_EQ(FormatNumber(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(FormatNumber(46.0), "46.0");
    EXPECT_EQ(FormatNumber(-0.0), "-0.0");
    EXPECT_EQ(FormatNumber(1.0 / 0.0), "null");
    Value object = Value::Object();
    object.Set("b", Value::Integer(1));
    object.Set("a", Value::Array());
    object.Set("b", Value::String("replaced, in its place"));
    EXPECT_EQ(Write(object, 1), "{\n \"b\": \"replaced, in its place\",\n \"a\": []\n}");
    EXPECT_EQ(object.Text("b"), "replaced, in its place");
    EXPECT_EQ(object.Text("a", "not a text"), "not a text");
}

}  // namespace
}  // namespace tallyx::json
