#include "chartclient/wide_text.h"

#include "host/shared_functions.h"
#include "xml/utf16.h"

namespace chartloom {
namespace {

// Calls `emit` for each code point up to the first NUL or malformed sequence.
template <class Emit>
void decodePage(const std::string& page, Emit&& emit) {
    size_t i = 0;
    unsigned cp = 0;
    while (i < page.size() && page[i] != '\0') {
        size_t length = utf8_decode_char(page.data() + i, page.size() - i, cp);
        if (length == 0)
            return;
        emit(cp);
        i += length;
    }
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::u16string pageToWideText(const std::string& page) {
    size_t units = 0;
    decodePage(page, [&](char32_t cp) { units += cp > 0xFFFF ? 2 : 1; });
    std::u16string wide(units, u'\0');
    size_t at = 0;
    decodePage(page, [&](char32_t cp) { at += static_cast<size_t>(utf16::encode(cp, &wide[at])); });
    return wide;
}

std::string wideToUtf8(const char16_t* text) {
    std::string out;
    if (!text)
        return out;
    for (size_t i = 0; text[i]; ++i) {
        char32_t cp = text[i];
        if (utf16::isHighSurrogate(cp) && utf16::isLowSurrogate(text[i + 1])) {
            cp = utf16::combine(text[i], text[i + 1]);
            ++i;
        } else if (utf16::isSurrogate(cp)) {
            cp = 0xFFFD;
        }
        appendUtf8(out, cp);
    }
    return out;
}

}  // namespace chartloom
