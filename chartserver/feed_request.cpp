#include "chartserver/feed_request.h"

#include <array>
#include <cctype>

#include "platform/ascii_text.h"

namespace chartloom::chartserver {
namespace {

constexpr std::string_view kFeedPrefix = "/1.0/artist/";
constexpr std::array<std::string_view, 2> kFeedFiles = {"toptracks.xml", "similar.xml"};

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

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// RFC 3986 pchar, less '%' (handled as escapes) and '\' (never valid anyway).
bool isPlainPathChar(char c) {
    if (std::isalnum(static_cast<unsigned char>(c)))
        return true;
    return std::string_view("-._~!$&'()*+,;=:@").find(c) != std::string_view::npos;
}

// The segment decoded once, or null when it is malformed or could leave its folder.
std::optional<std::string> decodeSafeSegment(std::string_view segment) {
    std::string decoded;
    for (std::size_t i = 0; i < segment.size(); ++i) {
        char c = segment[i];
        if (c == '%') {
            if (i + 2 >= segment.size())
                return std::nullopt;
            int high = hexValue(segment[i + 1]);
            int low = hexValue(segment[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        } else if (!isPlainPathChar(c)) {
            return std::nullopt;
        }
        if (c == '/' || c == '\\' || c == '\0')
            return std::nullopt;
        decoded += c;
    }
    if (decoded.empty() || decoded == "." || decoded == "..")
        return std::nullopt;
    return decoded;
}

}  // namespace

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
    if (!knownFile || !decodeSafeSegment(segment))
        return std::nullopt;
    return FeedRequest{std::string(segment), std::string(file)};
}

}  // namespace chartloom::chartserver
