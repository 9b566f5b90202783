// Serve's reading of what a client asks for: bytes as a request target, and as an artist name
// encoded the plug-in's way (the HTTP head itself is libmicrohttpd's to read). Checks that a
// decoded target never names a folder that could leave the feeds folder, and that every name the
// plug-in can send comes back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "chartserver/feed_request.h"

using namespace chartloom::chartserver;

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "violated: %s\n", what);
        __builtin_trap();
    }
}

// The plug-in's artist encoding: "/" and "&" escaped twice, letters, digits, "_" and "-" kept.
std::string encodeLikeThePlugin(std::string_view name) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (c == '/') {
            out += "%252F";
        } else if (c == '&') {
            out += "%2526";
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool holdsAmbiguousEscape(std::string_view name) {
    for (std::size_t i = 0; i + 2 < name.size(); ++i) {
        if (name[i] == '%' && name[i + 1] == '2' &&
            (name[i + 2] == 'F' || name[i + 2] == 'f' || name[i + 2] == '6'))
            return true;
    }
    return false;
}

std::optional<FeedRequest> checkTarget(std::string_view target) {
    std::optional<FeedRequest> feed = parseFeedTarget(target);
    if (!feed)
        return feed;
    require(feed->segment != "." && feed->segment != "..", "segment is a dot folder");
    require(feed->segment.find('/') == std::string::npos, "segment holds a slash");
    require(!feed->artist.empty(), "empty artist");
    require(feed->artist.find('\0') == std::string::npos, "artist holds NUL");
    require(feed->file == "toptracks.xml" || feed->file == "similar.xml", "unknown feed file");
    for (const std::string& folder : feedFolderNames(*feed)) {
        require(!folder.empty() && folder != "." && folder != "..", "folder is a dot folder");
        require(folder.find('/') == std::string::npos, "folder holds a slash");
        require(folder.find('\0') == std::string::npos, "folder holds NUL");
        require(folder.size() <= 255, "folder name too long");
    }
    return feed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);

    checkTarget(input);

    if (input.find('\0') == std::string_view::npos) {
        std::string encoded = encodeLikeThePlugin(input);
        std::optional<FeedRequest> feed =
            checkTarget("http://127.0.0.1:7380/1.0/artist/" + encoded + "/similar.xml");
        require(feed.has_value() == !input.empty(), "an encodable name is refused");
        if (feed) {
            require(feed->segment == encoded, "segment differs from what was sent");
            require(holdsAmbiguousEscape(input) || feed->artist == input, "name does not return");
        }
    }
    return 0;
}
