#include "chartserver/printable.h"

namespace chartloom::chartserver {

std::string printable(std::string_view text, std::size_t maxBytes) {
    bool cut = text.size() > maxBytes;
    if (cut) {
        text = text.substr(0, maxBytes);
        // Do not end inside a UTF-8 sequence.
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
            text.remove_suffix(1);
        if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0)
            text.remove_suffix(1);
    }
    std::string out;
    out.reserve(text.size() + 3);
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        out += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
    return cut ? out + "..." : out;
}

}  // namespace chartloom::chartserver
