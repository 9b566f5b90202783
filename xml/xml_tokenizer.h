// Cuts the text into the tokens the parser works on. White space between tokens is skipped.
#pragma once

#include <cstddef>

namespace chartloom::xml {

enum class TokenKind {
    End,               // the terminating zero
    Text,              // a run of ordinary characters
    Quoted,            // "..." or '...', quotes included
    ShortClose,        // />
    EndTagStart,       // </
    DeclarationStart,  // <?
    TagStart,          // <
    Equals,            // =
    TagClose,          // >
    Clear,             // opening delimiter of a verbatim section
};

struct Token {
    TokenKind kind;
    const char16_t* begin;  // first character, after skipped white space
    size_t length;
    int clearTag;  // row of the clear tag table, for Clear
};

class Tokenizer {
public:
    explicit Tokenizer(const char16_t* text) : position_(text) {}

    Token next();

    const char16_t* position() const { return position_; }
    void moveTo(const char16_t* position) { position_ = position; }

private:
    const char16_t* position_;
};

}  // namespace chartloom::xml
