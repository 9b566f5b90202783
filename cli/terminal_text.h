// Text for a person's terminal: whatever a feed, a file name or a tag holds, it is shown, never
// obeyed. [any thread]
#pragma once

#include <string>
#include <string_view>

namespace chartloom::cli {

// Control characters (C0, DEL, C1) become visible escapes such as "\x1B", so no escape
// sequence reaches the terminal; bytes that are not UTF-8 become U+FFFD. Tabs stay, and line
// feeds too where `keepLineBreaks` (a message of several lines).
std::string printable(std::string_view text, bool keepLineBreaks = false);

}  // namespace chartloom::cli
