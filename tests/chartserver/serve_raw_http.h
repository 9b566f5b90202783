// A tiny blocking HTTP/1.1 client on raw sockets for the serve tests: one request per
// connection, the answer read until the server closes.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/support/socket_io.h"

namespace chartloom::testing {

struct RawResponse {
    int status = 0;  // 0: no well-formed answer
    std::string head;
    std::string body;

    // First value of header `name` (any case); empty if absent.
    std::string header(std::string_view name) const {
        std::size_t lineStart = head.find("\r\n");
        while (lineStart != std::string::npos) {
            lineStart += 2;
            std::size_t lineEnd = head.find("\r\n", lineStart);
            std::string_view line(
                head.data() + lineStart,
                (lineEnd == std::string::npos ? head.size() : lineEnd) - lineStart);
            std::size_t colon = line.find(':');
            if (colon == name.size() &&
                std::equal(name.begin(), name.end(), line.begin(),
                           [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
                std::string_view value = line.substr(colon + 1);
                while (!value.empty() && value.front() == ' ')
                    value.remove_prefix(1);
                return std::string(value);
            }
            lineStart = lineEnd;
        }
        return {};
    }
};

inline UniqueFd connectLoopback(uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return {};
    }
    return fd;
}

// A non-blocking connection to 127.0.0.1:port from the loopback address `source`.
inline UniqueFd connectFrom(const std::string& source, uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        return {};
    }
    ::fcntl(fd.get(), F_SETFL, O_NONBLOCK);
    return fd;
}

// Sends `request` as is and reads the answer until the server closes (at most 5 s).
inline RawResponse sendRaw(uint16_t port, std::string_view request) {
    RawResponse response;
    UniqueFd fd = connectLoopback(port);
    if (!fd)
        return response;
    while (!request.empty()) {
        ssize_t sent = ::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return response;
        request.remove_prefix(static_cast<std::size_t>(sent));
    }
    std::string received;
    for (;;) {
        pollfd p{fd.get(), POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        char buffer[4096];
        ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        received.append(buffer, static_cast<std::size_t>(n));
    }
    std::size_t headEnd = received.find("\r\n\r\n");
    if (headEnd == std::string::npos || !received.starts_with("HTTP/1.1 "))
        return response;
    response.head = received.substr(0, headEnd);
    response.body = received.substr(headEnd + 4);
    response.status = std::stoi(received.substr(9, 3));
    return response;
}

// One request with `method` and `target` (sent verbatim), closing after the answer.
inline RawResponse rawRequest(uint16_t port, std::string_view method, std::string_view target) {
    std::string text = std::string(method) + " " + std::string(target) +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    return sendRaw(port, text);
}

}  // namespace chartloom::testing
