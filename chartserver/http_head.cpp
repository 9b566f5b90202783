#include "chartserver/http_head.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "toolbase/ascii_text.h"

namespace chartloom::chartserver {
namespace {

bool isTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

bool isVisible(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
}

bool containsTokenNoCase(std::string_view list, std::string_view token) {
    while (!list.empty()) {
        std::size_t comma = list.find(',');
        if (equalsNoCase(trim(list.substr(0, comma)), token))
            return true;
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

HeadParse malformed(int status) {
    HeadParse result;
    result.kind = HeadParse::Kind::Malformed;
    result.status = status;
    return result;
}

// The next line of `input` from `pos` without its ending, or null if it has no ending yet.
std::optional<std::string_view> nextLine(std::string_view input, std::size_t& pos) {
    std::size_t end = input.find('\n', pos);
    if (end == std::string_view::npos)
        return std::nullopt;
    std::string_view line = input.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    pos = end + 1;
    return line;
}

}  // namespace

HeadParse parseHttpHead(std::string_view input, std::size_t maxHeadBytes) {
    std::size_t pos = 0;
    // Empty lines before a request line are tolerated, as a keep-alive client may send them.
    std::optional<std::string_view> requestLine;
    while ((requestLine = nextLine(input, pos)) && requestLine->empty()) {
    }
    if (!requestLine) {
        return input.size() > maxHeadBytes ? malformed(431) : HeadParse{};
    }

    HeadParse result;
    HttpRequest& request = result.request;
    std::size_t firstSpace = requestLine->find(' ');
    std::size_t lastSpace = requestLine->rfind(' ');
    if (firstSpace == std::string_view::npos || lastSpace == firstSpace)
        return malformed(400);
    std::string_view method = requestLine->substr(0, firstSpace);
    std::string_view target = requestLine->substr(firstSpace + 1, lastSpace - firstSpace - 1);
    std::string_view version = requestLine->substr(lastSpace + 1);
    if (!isToken(method) || !isVisible(target))
        return malformed(400);
    if (version == "HTTP/1.1") {
        request.minorVersion = 1;
    } else if (version == "HTTP/1.0") {
        request.minorVersion = 0;
    } else {
        return malformed(version.starts_with("HTTP/") ? 505 : 400);
    }
    request.method = method;
    request.target = target;

    bool closeAsked = false, keepAliveAsked = false, lengthSeen = false;
    for (;;) {
        std::optional<std::string_view> line = nextLine(input, pos);
        if (!line) {
            return input.size() > maxHeadBytes ? malformed(431) : HeadParse{};
        }
        if (pos > maxHeadBytes)
            return malformed(431);
        if (line->empty())
            break;
        std::size_t colon = line->find(':');
        if (colon == std::string_view::npos || !isToken(line->substr(0, colon)))
            return malformed(400);  // also refuses folded continuation lines
        std::string_view name = line->substr(0, colon);
        std::string_view value = line->substr(colon + 1);
        if (value.find('\0') != std::string_view::npos)
            return malformed(400);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.remove_suffix(1);
        if (equalsNoCase(name, "Content-Length")) {
            unsigned long long length = 0;
            auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
            if (lengthSeen || value.empty() || error != std::errc() ||
                end != value.data() + value.size()) {
                return malformed(400);
            }
            lengthSeen = true;
            request.hasBody = request.hasBody || length > 0;
        } else if (equalsNoCase(name, "Transfer-Encoding")) {
            request.hasBody = true;
        } else if (equalsNoCase(name, "Connection")) {
            closeAsked = closeAsked || containsTokenNoCase(value, "close");
            keepAliveAsked = keepAliveAsked || containsTokenNoCase(value, "keep-alive");
        }
    }
    request.keepAlive = !closeAsked && (request.minorVersion == 1 || keepAliveAsked);
    result.kind = HeadParse::Kind::Complete;
    result.consumed = pos;
    return result;
}

}  // namespace chartloom::chartserver
