#include "xml/xml_tokenizer.h"

#include "xml/xml_chars.h"
#include "xml/xml_clear_tags.h"

namespace chartloom::xml {
namespace {

// Characters that may end a Text token; '/' only does so when '>' follows.
constexpr bool isTextStopCandidate(char16_t c) {
    return c == 0 || c == u'\t' || c == u'\n' || c == u'\r' || c == u' ' || c == u'<' ||
           c == u'=' || c == u'>' || c == u'/';
}

struct StopTable {
    bool stop[128] = {};
    constexpr StopTable() {
        for (char16_t c = 0; c < 128; ++c)
            stop[c] = isTextStopCandidate(c);
    }
};
constexpr StopTable kStops;

// Scans a Text token's end from `p`; returns the first character not in it.
const char16_t* scanText(const char16_t* p) {
    for (;;) {
        const char16_t c = *p;
        // Every stop character sorts at or below '>', letters above it.
        if (c > u'>') {
            ++p;
            continue;
        }
        if (kStops.stop[c]) {
            if (c != u'/' || p[1] == u'>')
                return p;
        }
        ++p;
    }
}

int matchClearTag(const char16_t* p) {
    // Every opening delimiter continues "<!", "<p" or "<s"; most tags can be passed quickly.
    const char16_t second = foldAscii(p[1]);
    if (second != u'!' && second != u'p' && second != u's')
        return -1;
    for (int row = 0; row < kClearTagCount; ++row) {
        if (startsWithFolded(p, kClearTags[row].open, kClearTags[row].openLength))
            return row;
    }
    return -1;
}

}  // namespace

Token Tokenizer::next() {
    const char16_t* p = position_;
    while (isSpace(*p))
        ++p;
    Token token{TokenKind::Text, p, 1, -1};
    const char16_t c = *p;
    const char16_t* end = p + 1;
    if (c == 0) {
        token.kind = TokenKind::End;
        token.length = 0;
        end = p;
    } else if (c == u'<' && (token.clearTag = matchClearTag(p)) >= 0) {
        token.kind = TokenKind::Clear;
        token.length = kClearTags[token.clearTag].openLength;
        end = p + token.length;
    } else if (c == u'"' || c == u'\'') {
        const char16_t* q = p + 1;
        while (*q != c && *q != u'<' && *q != 0)
            ++q;
        if (*q == c) {
            token.kind = TokenKind::Quoted;
            end = q + 1;
        } else {
            // An unclosed quote is ordinary text that starts with the quote character.
            end = scanText(p + 1);
        }
        token.length = static_cast<size_t>(end - p);
        if (token.kind == TokenKind::Text && isSpace(*end))
            ++end;
    } else if (c == u'/' && p[1] == u'>') {
        token.kind = TokenKind::ShortClose;
        token.length = 2;
        end = p + 2;
    } else if (c == u'<') {
        token.kind = TokenKind::TagStart;
        if (p[1] == u'/' || p[1] == u'?') {
            token.kind = p[1] == u'/' ? TokenKind::EndTagStart : TokenKind::DeclarationStart;
            token.length = 2;
            end = p + 2;
        }
    } else if (c == u'=') {
        token.kind = TokenKind::Equals;
    } else if (c == u'>') {
        token.kind = TokenKind::TagClose;
    } else {
        end = scanText(p + 1);
        token.length = static_cast<size_t>(end - p);
        if (isSpace(*end))
            ++end;
    }
    position_ = end;
    return token;
}

}  // namespace chartloom::xml
