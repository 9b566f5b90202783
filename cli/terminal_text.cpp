#include "platform/terminal_text.h"

#include <cstdio>

#include "host/shared_functions.h"

namespace chartloom::cli {

std::string printable(std::string_view text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
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

}  // namespace chartloom::cli
