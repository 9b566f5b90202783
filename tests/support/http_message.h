// What the scripted test server records of a request and what it is told to answer.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace chartloom::testing {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct Request {
    std::string method;
    std::string target;  // as sent: origin-form "/a?b" or absolute-form "http://host:port/a?b"
    std::string path;    // the path part of the target, still percent-encoded ("/a")
    std::string query;   // after '?', without it; empty if none
    std::string version;
    HeaderList headers;  // in arrival order
    std::string body;    // by Content-Length; empty for GET
    std::string userAgent;

    // First value of the header `name` (any case); empty if absent.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
};

// Parses a request head (request line and header lines, without the blank line). Null if it
// is not a well-formed HTTP/1.x request head.
std::optional<Request> parseRequestHead(std::string_view head);

enum class Framing {
    ContentLength,  // Content-Length: the pieces' total unless announce() says otherwise
    Chunked,        // Transfer-Encoding: chunked, one chunk per piece
    UntilClose,     // no length; closing the connection ends the body
};

enum class Ending {
    Complete,  // finish the framing; keep the connection for the next request when allowed
    Close,     // close right after the last piece, leaving the framing unfinished
    Reset,     // reset (SO_LINGER 0) right after the last piece
    Hang,      // send nothing more; hold the connection until the client leaves
};

struct Piece {
    std::string bytes;
    std::chrono::milliseconds pauseBefore{0};
};

// A scripted answer; the setters chain: Response(200).chunk("a").chunk("b", 50ms).thenReset().
struct Response {
    int status = 200;
    std::string reason;  // empty: the usual phrase
    HeaderList headers;
    std::vector<Piece> pieces;  // the body, one send per piece
    Framing framing = Framing::ContentLength;
    std::optional<std::size_t> announcedLength;
    Ending ending = Ending::Complete;
    bool sendsHeaders = true;
    std::optional<Piece> endlessPiece;         // after the pieces, repeated until the client leaves
    std::chrono::milliseconds headerPause{0};  // between the lines of the head

    Response(int statusCode = 200) : status(statusCode) {}  // NOLINT: implicit on purpose

    Response& header(std::string name, std::string value);
    Response& body(std::string bytes) { return chunk(std::move(bytes)); }
    Response& chunk(std::string bytes, std::chrono::milliseconds pauseBefore = {});
    Response& chunked();
    Response& untilClose();
    Response& announce(std::size_t contentLength);  // claim a length (may be a lie)
    Response& thenClose();
    Response& thenReset();
    Response& thenHang();
    // The head a line at a time, `pause` apart, with `extraLines` filler headers.
    Response& dripHeaders(std::chrono::milliseconds pause, int extraLines);
    // A never-ending body (chunked framing): `piece` after every `pause`.
    Response& forever(std::string piece, std::chrono::milliseconds pause = {});

    static Response text(int status, std::string body);
    static Response redirect(std::string location, int status = 302);
    // Reads the request, then never answers, not even the status line (thenClose() or
    // thenReset() end the connection instead of holding it).
    static Response silent();
};

// Status line and header lines of `response`, up to and including the blank line.
std::string serialiseHead(const Response& response);
// One body piece as it goes on the wire under the response's framing.
std::string framePiece(const Response& response, std::string_view bytes);

}  // namespace chartloom::testing
