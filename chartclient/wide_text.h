// Between the page's UTF-8 and the XML reader's UTF-16. Any thread.
#pragma once

#include <string>

namespace chartloom {

// Decodes up to the first NUL or malformed sequence (a stray continuation byte, a missing
// continuation, an overlong form, a surrogate or a value above U+10FFFF); what came before is
// kept. Never fails.
std::u16string pageToWideText(const std::string& page);

// UTF-16 to UTF-8; a surrogate pair becomes one four-byte sequence, a lone surrogate U+FFFD.
std::string wideToUtf8(const char16_t* text);

}  // namespace chartloom
