#include "chartclient/feed_url.h"

#include <cstring>
#include <memory>

namespace chartloom {
namespace {

bool passesUnchanged(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

}  // namespace

std::string encodeArtistName(const char* name) {
    static constexpr char hex[] = "0123456789ABCDEF";
    size_t length = std::strlen(name);
    // Every byte takes at most five characters. Running out of memory raises std::bad_alloc
    // for the task to report: ending the process would take the player down with it.
    std::unique_ptr<char[]> buffer(new char[5 * length + 1]);
    char* out = buffer.get();
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (c == '/') {
            std::memcpy(out, "%252F", 5);
            out += 5;
        } else if (c == '&') {
            std::memcpy(out, "%2526", 5);
            out += 5;
        } else if (passesUnchanged(c)) {
            *out++ = static_cast<char>(c);
        } else {
            *out++ = '%';
            *out++ = hex[c >> 4];
            *out++ = hex[c & 0x0F];
        }
    }
    return std::string(buffer.get(), out);
}

std::string buildFeedUrl(const char* name, const char* feedFileName) {
    return std::string(ChartServiceBaseUrl) + "1.0/artist/" + encodeArtistName(name) + feedFileName;
}

}  // namespace chartloom
