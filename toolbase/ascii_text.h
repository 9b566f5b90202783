// ASCII-only text helpers for protocol texts (schemes, header names, tokens), where Unicode
// folding would be wrong. [any thread]
#pragma once

#include <string_view>

namespace chartloom {

constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// True when `text` begins with `prefix`, ASCII letters compared without regard to case.
constexpr bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (asciiLower(text[i]) != asciiLower(prefix[i]))
            return false;
    }
    return true;
}

// True when `a` and `b` are equal, ASCII letters compared without regard to case.
constexpr bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && startsWithNoCase(a, b);
}

// `text` without the spaces, tabs, carriage returns and line feeds at either end.
constexpr std::string_view trim(std::string_view text) {
    constexpr std::string_view space = " \t\r\n";
    std::size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(space) + 1 - first);
}

// The value of a hexadecimal digit (either case), or -1.
constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace chartloom
