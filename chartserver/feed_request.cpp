#include "chartserver/feed_request.h"

#include <array>
#include <cctype>

#include "toolbase/ascii_text.h"

namespace chartloom::chartserver {
namespace {

constexpr std::string_view kFeedPrefix = "/1.0/artist/";
constexpr std::array<std::string_view, 2> kFeedFiles = {"toptracks.xml", "similar.xml"};
constexpr std::size_t kMaxFolderName = 255;  // NAME_MAX on the file systems we run on

// The path of an origin-form or absolute-form target, without query or fragment.
std::optional<std::string_view> targetPath(std::string_view target) {
    constexpr std::string_view scheme = "http://";
    if (startsWithNoCase(target, scheme)) {
        target.remove_prefix(scheme.size());
        std::size_t pathStart = target.find_first_of("/?#");
        if (pathStart == std::string_view::npos || target[pathStart] != '/')
            return std::nullopt;
        target.remove_prefix(pathStart);
    }
    if (target.empty() || target.front() != '/')
        return std::nullopt;
    return target.substr(0, target.find_first_of("?#"));
}

// The byte that a well-formed escape at text[i] stands for, or -1.
int escapeAt(std::string_view text, std::size_t i) {
    if (text[i] != '%' || i + 2 >= text.size())
        return -1;
    int high = hexDigitValue(text[i + 1]), low = hexDigitValue(text[i + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// RFC 3986 pchar, less '%' (handled as escapes).
bool isPlainPathChar(char c) {
    if (std::isalnum(static_cast<unsigned char>(c)))
        return true;
    return std::string_view("-._~!$&'()*+,;=:@").find(c) != std::string_view::npos;
}

bool isWellFormed(std::string_view segment) {
    for (std::size_t i = 0; i < segment.size(); ++i) {
        if (segment[i] == '%') {
            if (escapeAt(segment, i) < 0)
                return false;
            i += 2;
        } else if (!isPlainPathChar(segment[i])) {
            return false;
        }
    }
    return true;
}

// Decodes every well-formed escape once; anything else is copied.
std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (int byte = escapeAt(text, i); byte >= 0) {
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool isSafeFolderName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.size() <= kMaxFolderName &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace

std::string artistFromSegment(std::string_view segment) {
    std::string once = percentDecode(segment);
    std::string name;
    name.reserve(once.size());
    for (std::size_t i = 0; i < once.size(); ++i) {
        if (int byte = escapeAt(once, i); byte == '/' || byte == '&') {
            name += static_cast<char>(byte);
            i += 2;
            continue;
        }
        name += once[i];
    }
    return name;
}

std::optional<FeedRequest> parseFeedTarget(std::string_view target) {
    std::optional<std::string_view> path = targetPath(target);
    if (!path || !path->starts_with(kFeedPrefix))
        return std::nullopt;
    std::string_view rest = path->substr(kFeedPrefix.size());
    std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    std::string_view segment = rest.substr(0, slash);
    std::string_view file = rest.substr(slash + 1);
    bool knownFile = false;
    for (std::string_view feed : kFeedFiles)
        knownFile = knownFile || file == feed;
    if (!knownFile || segment == "." || segment == ".." || !isWellFormed(segment))
        return std::nullopt;
    std::string artist = artistFromSegment(segment);
    if (artist.empty() || artist.find('\0') != std::string::npos)
        return std::nullopt;
    return FeedRequest{std::string(segment), std::string(file), std::move(artist)};
}

std::vector<std::string> feedFolderNames(const FeedRequest& request) {
    std::vector<std::string> names;
    if (isSafeFolderName(request.segment))
        names.push_back(request.segment);
    if (isSafeFolderName(request.artist) && request.artist != request.segment)
        names.push_back(request.artist);
    return names;
}

std::string segmentFor(std::string_view artist) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : artist) {
        auto byte = static_cast<unsigned char>(c);
        bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                     (byte >= '0' && byte <= '9') || byte == '_' || byte == '-';
        if (c == '/' || c == '&')
            out += c == '/' ? "%252F" : "%2526";
        else if (plain)
            out += c;
        else
            out.append({'%', hex[byte >> 4], hex[byte & 0x0F]});
    }
    return out;
}

}  // namespace chartloom::chartserver
