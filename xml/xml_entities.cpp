#include "xml/xml_entities.h"

#include <cstdint>
#include <cstring>

#include "xml/utf16.h"
#include "xml/xml_chars.h"

namespace chartloom::xml {
namespace {

struct NamedEntity {
    const char16_t* text;
    size_t length;
    char16_t value;
};

constexpr NamedEntity kNamedEntities[] = {
    {u"&amp;", 5, u'&'},  {u"&lt;", 4, u'<'},    {u"&gt;", 4, u'>'},
    {u"&quot;", 6, u'"'}, {u"&apos;", 6, u'\''},
};

constexpr uint32_t kMaxCodePoint = 0x10FFFF;

int digitValue(char16_t c, bool hex) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (hex && c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (hex && c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Reads "&#...;" starting at source[0]; sets `consumed` and `value`. False when malformed.
bool readNumeric(const char16_t* source, size_t available, size_t& consumed, uint32_t& value) {
    size_t i = 2;
    const bool hex = i < available && (source[i] == u'x' || source[i] == u'X');
    if (hex)
        ++i;
    value = 0;
    for (; i < available; ++i) {
        if (source[i] == u';') {
            consumed = i + 1;
            return true;
        }
        const int digit = digitValue(source[i], hex);
        if (digit < 0)
            return false;
        // Stop before the value can overflow; anything this large is out of range anyway.
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
        if (value > kMaxCodePoint)
            return false;
    }
    return false;
}

}  // namespace

ptrdiff_t decodeEntities(const char16_t* source, size_t length, char16_t* out) {
    char16_t* write = out;
    size_t i = 0;
    while (i < length) {
        size_t plain = i;
        while (plain < length && source[plain] != u'&')
            ++plain;
        std::memcpy(write, source + i, (plain - i) * sizeof(char16_t));
        write += plain - i;
        i = plain;
        if (i == length)
            break;
        const size_t available = length - i;
        if (available >= 3 && source[i + 1] == u'#') {
            size_t consumed = 0;
            uint32_t value = 0;
            if (!readNumeric(source + i, available, consumed, value))
                return -1;
            write += utf16::encode(value, write);
            i += consumed;
            continue;
        }
        const NamedEntity* match = nullptr;
        for (const NamedEntity& entity : kNamedEntities) {
            if (entity.length <= available &&
                startsWithFolded(source + i, entity.text, entity.length)) {
                match = &entity;
                break;
            }
        }
        if (!match)
            return -1;
        *write++ = match->value;
        i += match->length;
    }
    return write - out;
}

}  // namespace chartloom::xml
