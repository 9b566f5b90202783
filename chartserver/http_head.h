// Reading one HTTP/1.x request head, for the chart service's own server.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace chartloom::chartserver {

struct HttpRequest {
    std::string method;
    std::string target;  // as sent: origin-form or absolute-form
    int minorVersion = 1;
    bool keepAlive = true;  // false: the client asked to close, or HTTP/1.0 without keep-alive
    bool hasBody = false;   // a Content-Length above 0 or any Transfer-Encoding was declared
};

struct HeadParse {
    enum class Kind {
        Incomplete,  // no blank line yet: read more
        Complete,    // `request` holds the head, `consumed` bytes of input make it up
        Malformed,   // answer `status` and close
    } kind = Kind::Incomplete;
    HttpRequest request;
    std::size_t consumed = 0;
    int status = 400;
};

// Reads the head at the start of `input`: empty lines before the request line are skipped,
// lines may end in CRLF or a bare LF. The body, if any, is not part of the head. Heads longer
// than `maxHeadBytes` are Malformed with 431. Pure; never throws but for memory.
HeadParse parseHttpHead(std::string_view input, std::size_t maxHeadBytes);

}  // namespace chartloom::chartserver
