// Text from outside (names, the service's messages) made safe for a terminal line.
#pragma once

#include <string>
#include <string_view>

namespace chartloom::chartserver {

// Control characters (C0, DEL) become '?', so that no escape sequence reaches a terminal; long
// texts are cut to `maxBytes` with "..." appended.
std::string printable(std::string_view text, std::size_t maxBytes = 300);

}  // namespace chartloom::chartserver
