// The exported Internet functions: argument checks, handle bookkeeping and last errors around
// the transfers of internet_transfer.cpp.
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/internet_errors.h"
#include "platform/internet_registry.h"
#include "platform/internet_timeouts.h"
#include "platform/internet_transfer.h"
#include "platform/wininet.h"

using chartloom::inet::HandleObject;
using chartloom::inet::setLastError;
using chartloom::inet::Transfer;

namespace {

struct RootHandle final : HandleObject {
    std::optional<std::string> agent;
};

// The mutex serialises reads made on one request handle from several threads.
struct RequestHandle final : HandleObject {
    uint32_t status = 0;  // fixed once the handle exists
    std::mutex mutex;
    std::unique_ptr<Transfer> transfer;
};

// The open handle of type T behind `handle`, or null with the last error set.
template <typename T>
std::shared_ptr<T> openHandle(HINTERNET handle) {
    std::shared_ptr<HandleObject> object = chartloom::inet::findHandle(handle);
    if (!object) {
        setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::shared_ptr<T> typed = std::dynamic_pointer_cast<T>(object);
    if (!typed) {
        setLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    }
    return typed;
}

// Extra request headers: lines separated by CR LF (or LF); empty lines are skipped.
std::vector<std::string> splitHeaderLines(const char* headers, DWORD length) {
    std::vector<std::string> lines;
    if (!headers) {
        return lines;
    }
    std::string_view rest(headers,
                          length == 0 || length == ~DWORD{0} ? std::strlen(headers) : length);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!line.empty()) {
            lines.emplace_back(line);
        }
    }
    return lines;
}

}  // namespace

HINTERNET InternetOpenA(const char* agent, DWORD accessType, const char* proxy,
                        const char* proxyBypass, DWORD) {
    if (accessType != INTERNET_OPEN_TYPE_PRECONFIG || proxy || proxyBypass) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!chartloom::inet::ensureCurlInitialised()) {
        setLastError(ERROR_INTERNET_INTERNAL_ERROR);
        return nullptr;
    }
    try {
        auto root = std::make_shared<RootHandle>();
        if (agent) {
            root->agent.emplace(agent);
        }
        return chartloom::inet::registerHandle(std::move(root));
    } catch (const std::bad_alloc&) {
        setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HINTERNET InternetOpenUrlA(HINTERNET internet, const char* url, const char* headers,
                           DWORD headersLength, DWORD, uintptr_t) {
    try {
        const std::shared_ptr<RootHandle> root = openHandle<RootHandle>(internet);
        if (!root) {
            return nullptr;
        }
        if (!url) {
            setLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        chartloom::inet::TransferOptions options;
        options.url = url;
        options.userAgent = root->agent;
        options.headers = splitHeaderLines(headers, headersLength);
        options.timeouts = chartloom::inet::currentTimeouts();

        auto request = std::make_shared<RequestHandle>();
        DWORD error = ERROR_SUCCESS;
        request->transfer = Transfer::open(options, error);
        if (!request->transfer) {
            setLastError(error);
            return nullptr;
        }
        request->status = request->transfer->status();
        return chartloom::inet::registerHandle(std::move(request));
    } catch (const std::bad_alloc&) {
        setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

bool HttpQueryInfoW(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength, DWORD*) {
    const std::shared_ptr<RequestHandle> handle = openHandle<RequestHandle>(request);
    if (!handle) {
        return false;
    }
    if (infoLevel != (HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER)) {
        setLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
        return false;
    }
    if (!bufferLength) {
        setLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const uint32_t status = handle->status;
    if (!buffer || *bufferLength < sizeof status) {
        *bufferLength = sizeof status;
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    std::memcpy(buffer, &status, sizeof status);
    *bufferLength = sizeof status;
    return true;
}

bool InternetReadFile(HINTERNET request, void* buffer, DWORD bytesToRead, DWORD* bytesRead) {
    if (bytesRead) {
        *bytesRead = 0;
    }
    const std::shared_ptr<RequestHandle> handle = openHandle<RequestHandle>(request);
    if (!handle) {
        return false;
    }
    if (!bytesRead || (!buffer && bytesToRead > 0)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::lock_guard lock(handle->mutex);
    size_t got = 0;
    DWORD error = ERROR_SUCCESS;
    if (!handle->transfer->read(buffer, bytesToRead, got, error)) {
        setLastError(error);
        return false;
    }
    *bytesRead = static_cast<DWORD>(got);
    return true;
}

bool InternetCloseHandle(HINTERNET handle) {
    // The object dies here, or when the last call still using it on another thread returns.
    if (!chartloom::inet::unregisterHandle(handle)) {
        setLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

DWORD GetLastError() {
    return chartloom::inet::lastError();
}
