// Test helpers over the Internet functions of platform/wininet.h (link chartloom_inet).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wininet.h"

namespace chartloom::testing {

// Closes an Internet handle on scope exit unless it was closed by hand.
class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle = nullptr) : handle_(handle) {}
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle() { close(); }

    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    bool close() {
        HINTERNET handle = handle_;
        handle_ = nullptr;
        return handle && InternetCloseHandle(handle);
    }

private:
    HINTERNET handle_;
};

inline uint32_t statusOf(HINTERNET request) {
    uint32_t status = 0;
    DWORD length = sizeof status;
    return HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                          &length, nullptr)
               ? status
               : 0;
}

struct ReadOutcome {
    std::string body;
    std::vector<std::size_t> pieces;  // size of every non-empty read
    bool failed = false;              // a read returned false
    DWORD error = ERROR_SUCCESS;      // GetLastError after the failed read
};

// Reads to the end (or the first failure) with reads of `chunk` bytes.
inline ReadOutcome readAll(HINTERNET request, std::size_t chunk = 1024) {
    ReadOutcome outcome;
    std::vector<char> buffer(chunk);
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request, buffer.data(), static_cast<DWORD>(chunk), &got)) {
            outcome.failed = true;
            outcome.error = GetLastError();
            return outcome;
        }
        if (got == 0) {
            return outcome;
        }
        outcome.pieces.push_back(got);
        outcome.body.append(buffer.data(), got);
    }
}

struct FetchOutcome {
    bool opened = false;
    DWORD openError = ERROR_SUCCESS;
    uint32_t status = 0;
    ReadOutcome read;
};

// One whole download, both handles closed before returning.
inline FetchOutcome fetch(const std::string& url, std::size_t chunk = 1024,
                          const char* agent = "chartloom-test/1.0") {
    FetchOutcome outcome;
    InternetHandle root(InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root) {
        outcome.openError = GetLastError();
        return outcome;
    }
    InternetHandle request(
        InternetOpenUrlA(root.get(), url.c_str(), nullptr, 0, INTERNET_FLAG_NO_UI, 0));
    if (!request) {
        outcome.openError = GetLastError();
        return outcome;
    }
    outcome.opened = true;
    outcome.status = statusOf(request.get());
    outcome.read = readAll(request.get(), chunk);
    return outcome;
}

}  // namespace chartloom::testing
