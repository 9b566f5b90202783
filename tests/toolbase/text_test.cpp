// ASCII and terminal text.
#include <gtest/gtest.h>

#include "toolbase/ascii_text.h"
#include "toolbase/terminal_text.h"

namespace chartloom {
namespace {

TEST(AsciiText, TrimAndCompareProtocolWords) {
    EXPECT_EQ(trim(" \t keep-alive\r\n"), "keep-alive");
    EXPECT_EQ(trim(" \r\n"), "");
    EXPECT_TRUE(equalsNoCase("Content-Length", "content-LENGTH"));
    EXPECT_FALSE(equalsNoCase("Content-Length", "Content-Lengt"));
    EXPECT_FALSE(equalsNoCase("\xC3\x84", "\xC3\xA4")) << "letters outside ASCII are not folded";
}

TEST(TerminalText, LinesFitTheTerminalWithTheirTailWhole) {
    struct Case {
        const char* head;
        const char* tail;
        size_t columns;
        const char* shown;
    } cases[] = {
        {"Generating", " [##..] 50%", 80, "Generating [##..] 50%"},
        {"Generating Charts Playlist for Blur", " [##..] 50%", 30, "Generating Char... [##..] 50%"},
        {"Bj\xC3\xB6rk's charts", "", 10, "Bj\xC3\xB6rk'..."},
        {"abcdef", " 50%", 4, "... 50%"},  // a terminal too narrow for the tail keeps it anyway
    };
    for (const Case& c : cases)
        EXPECT_EQ(fitColumns(c.head, c.tail, c.columns), c.shown) << c.head << " in " << c.columns;
}

}  // namespace
}  // namespace chartloom
