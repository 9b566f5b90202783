#include "playlists/latin1.h"

#include "host/shared_functions.h"
#include "toolbase/store_error.h"

namespace chartloom::playlists {

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

std::string utf8ToLatin1(std::string_view text, const std::string& playlist) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        unsigned cp = 0;
        size_t length = utf8_decode_char(text.data() + i, text.size() - i, cp);
        if (length == 0 || cp > 0xFF) {
            throw StoreError("playlist \"" + playlist +
                             "\" is a Latin-1 .m3u file and would hold a character Latin-1 "
                             "does not have; it is left as it is (an .m3u8 copy can hold any)");
        }
        out += static_cast<char>(cp);
        i += length;
    }
    return out;
}

}  // namespace chartloom::playlists
