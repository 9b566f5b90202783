// The JSON event reader: what it hands on, and where and why it refuses.
#include "library/json_events.h"

#include <gtest/gtest.h>

#include "tests/support/json_event_text.h"

namespace chartloom::library {
namespace {

using namespace std::literals;

// Taken: the events; refused: "@POSITION: message".
std::string read(std::string_view text) {
    testing::JsonEventText events;
    try {
        readJsonEvents(text, events);
        return events.out;
    } catch (const JsonSyntaxError& e) {
        return "@" + std::to_string(e.position) + ": " + e.what();
    }
}

TEST(JsonEvents, TakesWhatJsonAllows) {
    struct {
        std::string_view text;
        std::string_view events;
    } cases[] = {
        {" {\"a\" : [1, -2, true, false, null, \"x\"], \"b\": {}}\r\n\t",
         "{k1:a[u1;i-2;tfns1:x]k1:b{}}"},
        {"\xEF\xBB\xBF[]", "[]"},
        {"[[[[]]], {}]", "[[[[]]]{}]"},
        {"[0, -0, 18446744073709551615, -9223372036854775808]",
         "[u0;i0;u18446744073709551615;i-9223372036854775808;]"},
        // Beyond 64 bits, with a fraction or exponent, or too small for a double: a number.
        {"[18446744073709551616, -9223372036854775809, 1.5, 2e3, 1E-2, 1e-400, 0.0e+999]",
         "[FFFFFFF]"},
        {R"(["\"\\\/\b\f\n\r\t", "\u00e9\u20AC", "\ud83c\udfb5", "\u0000"])",
         "[s8:\"\\/\b\f\n\r\ts5:\xC3\xA9\xE2\x82\xACs4:\xF0\x9F\x8E\xB5s1:\0]"sv},
        {"\"Bj\xC3\xB6rk \xF0\x9F\x8E\xB5\"", "s11:Bj\xC3\xB6rk \xF0\x9F\x8E\xB5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.text), c.events) << c.text;
}

TEST(JsonEvents, RefusesWithTheBytesReadAndTheReason) {
    struct {
        std::string_view text;
        std::string_view says;
    } cases[] = {
        {"", "@0: syntax error: unexpected end of the document, expected a value"},
        {"nul", "@3: syntax error: unexpected end of the document in a literal"},
        {"[tru]", "@5: syntax error: invalid literal"},
        {"[1,]", "@4: syntax error: expected a value"},
        {"[1 2]", "@4: syntax error: expected ',' or ']'"},
        {"{\"a\" 1}", "@6: syntax error: expected ':' after the member's name"},
        {"{\"a\":1,}", "@8: syntax error: expected a text as the member's name"},
        {"{\"a\":1]", "@7: syntax error: expected ',' or '}'"},
        {"{} x", "@4: syntax error: more after the end of the document"},
        {"{}\0"sv, "@3: syntax error: more after the end of the document"},
        {"[01]", "@3: syntax error: expected ',' or ']'"},
        {"[-]", "@3: syntax error: expected a digit"},
        {"[1.]", "@4: syntax error: expected a digit after '.'"},
        {"[1e+]", "@5: syntax error: expected a digit in the exponent"},
        {"[1e400]", "@6: number overflow parsing '1e400'"},
        {"[-123456789012345678901234567890e300]",
         "@36: number overflow parsing '-123456789012345678901234567890e300'"},
        {"\"a\tb\"", "@3: syntax error: a control character in a text must be escaped"},
        {"\"\\x\"", "@3: syntax error: invalid escape"},
        {"\"\\u12G4\"", "@6: syntax error: \\u must be followed by four hex digits"},
        {"\"\\udc00\"",
         "@7: syntax error: a low surrogate \\u escape without a high one before it"},
        {"\"\\ud800x\"", "@8: syntax error: a high surrogate \\u escape without a low one"},
        {"\"\\ud800\\u0041\"", "@13: syntax error: a high surrogate \\u escape without a low one"},
        {"\"\xC0\xAF\"", "@2: syntax error: a text that is not UTF-8"},
        {"\"\xED\xA0\x80\"", "@2: syntax error: a text that is not UTF-8"},
        {"\"\xF4\x90\x80\x80\"", "@2: syntax error: a text that is not UTF-8"},
        {"\"abc", "@4: syntax error: unexpected end of the document in a text"},
        {"[[", "@2: syntax error: unexpected end of the document, expected a value"},
        {"\xEF\xBB[]", "@1: syntax error: expected a value"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.text), c.says) << c.text;
}

TEST(JsonEvents, NestingOfAnyDepthIsReadWithoutRecursion) {
    const size_t depth = 1'000'000;
    std::string text = std::string(depth, '[') + std::string(depth, ']');
    std::string events = read(text);
    EXPECT_EQ(events, text);
}

}  // namespace
}  // namespace chartloom::library
