#include "chartservice/wide_text.h"

namespace chartloom {
namespace {

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Decodes one code point at `i`; false at a malformed sequence.
bool decodeOne(const std::string& page, size_t& i, char32_t& cp) {
    auto at = [&](size_t k) { return static_cast<unsigned char>(page[k]); };
    unsigned char lead = at(i);
    size_t need;
    char32_t min;
    if (lead < 0x80) {
        cp = lead;
        ++i;
        return true;
    } else if (lead >= 0xC0 && lead < 0xE0) {
        need = 1, min = 0x80, cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        need = 2, min = 0x800, cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF8) {
        need = 3, min = 0x10000, cp = lead & 0x07;
    } else {
        return false;  // a continuation byte, or no UTF-8 lead at all
    }
    if (page.size() - i <= need)
        return false;
    for (size_t k = 1; k <= need; ++k) {
        if (!isContinuation(at(i + k)))
            return false;
        cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    i += need + 1;
    return true;
}

template <class Emit>
void decodePage(const std::string& page, Emit&& emit) {
    size_t i = 0;
    char32_t cp;
    while (i < page.size() && page[i] != '\0' && decodeOne(page, i, cp))
        emit(cp);
}

}  // namespace

std::u16string pageToWideText(const std::string& page) {
    size_t units = 0;
    decodePage(page, [&](char32_t cp) { units += cp > 0xFFFF ? 2 : 1; });
    std::u16string wide;
    wide.reserve(units);
    decodePage(page, [&](char32_t cp) {
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            wide.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            wide.push_back(static_cast<char16_t>(cp));
        }
    });
    return wide;
}

std::string wideToUtf8(const char16_t* text) {
    std::string out;
    if (!text)
        return out;
    for (size_t i = 0; text[i]; ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
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
    return out;
}

}  // namespace chartloom
