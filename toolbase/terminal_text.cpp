#include "toolbase/terminal_text.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

namespace chartloom {
namespace {

size_t codePoints(std::string_view text) {
    size_t count = 0;
    for (char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

}  // namespace

size_t terminalColumns(std::FILE* file) {
    winsize size{};
    if (::ioctl(fileno(file), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS"); columns && std::atoi(columns) > 0)
        return static_cast<size_t>(std::atoi(columns));
    return 80;
}

std::string fitColumns(std::string_view head, std::string_view tail, size_t columns) {
    // One column stays free: a line that fills the last one makes some terminals wrap.
    size_t room = columns > 1 ? columns - 1 : 0;
    size_t tailLength = codePoints(tail);
    if (codePoints(head) + tailLength <= room)
        return std::string(head).append(tail);
    size_t keep = room > tailLength + 3 ? room - tailLength - 3 : 0;
    size_t bytes = 0;
    for (size_t kept = 0; bytes < head.size(); ++bytes) {
        if ((static_cast<unsigned char>(head[bytes]) & 0xC0) != 0x80 && kept++ == keep)
            break;
    }
    return std::string(head.substr(0, bytes)).append("...").append(tail);
}

}  // namespace chartloom
