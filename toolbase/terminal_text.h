// Text for a person's terminal or a log line: whatever a feed, a file name, a tag or a service's
// message holds, it is shown, never obeyed. [any thread]
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "host/shared_functions.h"

namespace chartloom {

// Control characters (C0, DEL, C1) become visible escapes such as "\x1B", so no escape
// sequence reaches the terminal; bytes that are not UTF-8 become U+FFFD. Tabs stay, and line
// feeds too where `keepLineBreaks` (a message of several lines). A text longer than `maxBytes`
// is cut at a character boundary and ends in "...".
inline std::string printable(std::string_view text, bool keepLineBreaks = false,
                             size_t maxBytes = std::string_view::npos) {
    std::string out;
    out.reserve(text.size() < maxBytes ? text.size() : maxBytes);
    size_t i = 0;
    while (i < text.size()) {
        if (i >= maxBytes)
            return out + "...";
        unsigned cp = 0;
        size_t length = utf8_decode_char(text.data() + i, text.size() - i, cp);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        bool control = cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F);
        if (control && !(cp == '\t' || (cp == '\n' && keepLineBreaks))) {
            char escape[8];
            std::snprintf(escape, sizeof escape, cp < 0x80 ? "\\x%02X" : "\\u%04X", cp);
            out += escape;
        } else {
            out.append(text.data() + i, length);
        }
        i += length;
    }
    return out;
}

// The columns of the terminal `file` writes to: its window's width, else $COLUMNS, else 80.
size_t terminalColumns(std::FILE* file);

// `head` cut to leave room for `tail` within `columns` characters (counted as code points), so
// that a status line never wraps: "...", then `tail`, which is kept whole.
std::string fitColumns(std::string_view head, std::string_view tail, size_t columns);

}  // namespace chartloom
