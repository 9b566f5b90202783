#include "tests/support/http_message.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "toolbase/ascii_text.h"

namespace chartloom::testing {
namespace {

const char* usualReason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

bool hasHeaderIn(const HeaderList& headers, std::string_view name) {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return equalsNoCase(h.first, name); });
}

}  // namespace

std::string Request::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (equalsNoCase(key, name)) {
            return value;
        }
    }
    return {};
}

bool Request::hasHeader(std::string_view name) const {
    return hasHeaderIn(headers, name);
}

std::optional<Request> parseRequestHead(std::string_view head) {
    Request request;
    const size_t lineEnd = head.find("\r\n");
    std::string_view line = head.substr(0, lineEnd);
    std::string_view rest = lineEnd == std::string_view::npos ? "" : head.substr(lineEnd + 2);

    const size_t space1 = line.find(' ');
    const size_t space2 = line.rfind(' ');
    if (space1 == std::string_view::npos || space2 == space1) {
        return std::nullopt;
    }
    request.method = line.substr(0, space1);
    request.target = line.substr(space1 + 1, space2 - space1 - 1);
    request.version = line.substr(space2 + 1);
    if (request.method.empty() || request.target.empty() ||
        !startsWithNoCase(request.version, "HTTP/1.")) {
        return std::nullopt;
    }

    // Absolute-form (what a client sends to a proxy): drop "scheme://authority".
    std::string_view pathAndQuery = request.target;
    if (startsWithNoCase(pathAndQuery, "http://") || startsWithNoCase(pathAndQuery, "https://")) {
        pathAndQuery.remove_prefix(pathAndQuery.find("//") + 2);
        const size_t slash = pathAndQuery.find_first_of("/?#");
        pathAndQuery = slash == std::string_view::npos ? "" : pathAndQuery.substr(slash);
    }
    pathAndQuery = pathAndQuery.substr(0, pathAndQuery.find('#'));
    const size_t question = pathAndQuery.find('?');
    request.path = pathAndQuery.substr(0, question);
    if (question != std::string_view::npos) {
        request.query = pathAndQuery.substr(question + 1);
    }
    if (request.path.empty()) {
        request.path = "/";
    }

    while (!rest.empty()) {
        const size_t end = rest.find("\r\n");
        const std::string_view headerLine = rest.substr(0, end);
        rest = end == std::string_view::npos ? "" : rest.substr(end + 2);
        if (headerLine.empty()) {
            continue;
        }
        const size_t colon = headerLine.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            return std::nullopt;
        }
        request.headers.emplace_back(std::string(headerLine.substr(0, colon)),
                                     std::string(trim(headerLine.substr(colon + 1))));
    }
    request.userAgent = request.header("User-Agent");
    return request;
}

Response& Response::header(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

Response& Response::chunk(std::string bytes, std::chrono::milliseconds pauseBefore) {
    pieces.push_back({std::move(bytes), pauseBefore});
    return *this;
}

Response& Response::chunked() {
    framing = Framing::Chunked;
    return *this;
}

Response& Response::untilClose() {
    framing = Framing::UntilClose;
    return *this;
}

Response& Response::announce(std::size_t contentLength) {
    framing = Framing::ContentLength;
    announcedLength = contentLength;
    return *this;
}

Response& Response::dripHeaders(std::chrono::milliseconds pause, int extraLines) {
    for (int i = 0; i < extraLines; ++i)
        header("X-Drip", std::to_string(i));
    headerPause = pause;
    return *this;
}

Response& Response::thenClose() {
    ending = Ending::Close;
    return *this;
}

Response& Response::thenReset() {
    ending = Ending::Reset;
    return *this;
}

Response& Response::thenHang() {
    ending = Ending::Hang;
    return *this;
}

Response& Response::forever(std::string piece, std::chrono::milliseconds pause) {
    framing = Framing::Chunked;
    endlessPiece = Piece{std::move(piece), pause};
    return *this;
}

Response Response::text(int status, std::string body) {
    return Response(status).header("Content-Type", "text/plain").body(std::move(body));
}

Response Response::redirect(std::string location, int status) {
    return Response(status).header("Location", std::move(location));
}

Response Response::silent() {
    Response response;
    response.sendsHeaders = false;
    return response;
}

std::string serialiseHead(const Response& response) {
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " +
                       (response.reason.empty() ? usualReason(response.status) : response.reason) +
                       "\r\n";
    for (const auto& [name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    switch (response.framing) {
        case Framing::ContentLength:
            if (!hasHeaderIn(response.headers, "Content-Length")) {
                size_t total = 0;
                for (const Piece& piece : response.pieces) {
                    total += piece.bytes.size();
                }
                head +=
                    "Content-Length: " + std::to_string(response.announcedLength.value_or(total)) +
                    "\r\n";
            }
            break;
        case Framing::Chunked:
            head += "Transfer-Encoding: chunked\r\n";
            break;
        case Framing::UntilClose:
            head += "Connection: close\r\n";
            break;
    }
    return head + "\r\n";
}

std::string framePiece(const Response& response, std::string_view bytes) {
    if (response.framing != Framing::Chunked) {
        return std::string(bytes);
    }
    if (bytes.empty()) {
        return {};  // an empty chunk would end the body
    }
    char size[20];
    std::snprintf(size, sizeof size, "%zx\r\n", bytes.size());
    return size + std::string(bytes) + "\r\n";
}

}  // namespace chartloom::testing
