// The Windows Internet functions the plug-in downloads with, on libcurl.
//
// Pull-style HTTP(S) GET: InternetOpenUrlA returns once the final response's headers are in
// (redirects followed), InternetReadFile hands out the body piece by piece. The proxy is the
// one libcurl reads from `http_proxy` / `no_proxy`; time-outs are in internet_timeouts.h. Every
// function may be called from any thread; one request handle serves one transfer and is used by one
// thread at a time (calls on the same handle are serialised). Handles are opaque tokens checked
// against a registry, so a stale or bogus handle is refused with ERROR_INVALID_HANDLE instead of
// being dereferenced.
#pragma once

#include <cstdint>

#define CHARTLOOM_INET_API __attribute__((visibility("default")))

using HINTERNET = void*;
using DWORD = uint32_t;

inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr DWORD INTERNET_FLAG_NO_UI = 0x200;
inline constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
inline constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;

// Error codes left for GetLastError (the Windows values).
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_HTTP_INVALID_QUERY_REQUEST = 12154;
inline constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;
inline constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

// Root handle. Only INTERNET_OPEN_TYPE_PRECONFIG is supported; proxy and bypass must be null.
// `agent` (may be null) becomes the User-Agent of every request opened on this handle.
CHARTLOOM_INET_API HINTERNET InternetOpenA(const char* agent, DWORD accessType, const char* proxy,
                                           const char* proxyBypass, DWORD flags);
// GET of an http:// or https:// URL; blocks until the final response's headers are in (at
// most 10 redirects, http and https only). Null on failure, with the reason in GetLastError.
// `headers` are extra request lines separated by CRLF; a length of 0 or ~0u means NUL-ended.
CHARTLOOM_INET_API HINTERNET InternetOpenUrlA(HINTERNET internet, const char* url,
                                              const char* headers, DWORD headersLength, DWORD flags,
                                              uintptr_t context);
// Only HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER: writes the final status as a 32-bit
// number; *bufferLength must be at least 4 and is set to 4. `index` may be null.
CHARTLOOM_INET_API bool HttpQueryInfoW(HINTERNET request, DWORD infoLevel, void* buffer,
                                       DWORD* bufferLength, DWORD* index);
// Blocks until body bytes are there, then hands out at most `bytesToRead` of them. At the end
// of the body: true with *bytesRead = 0. A transfer that breaks (connection lost, framing cut
// short, stall) fails with false once the bytes received before the break are handed out.
CHARTLOOM_INET_API bool InternetReadFile(HINTERNET request, void* buffer, DWORD bytesToRead,
                                         DWORD* bytesRead);
// Closes a root or request handle exactly once; null, unknown or closed handles give false.
// Closing a root handle leaves the request handles opened on it usable.
CHARTLOOM_INET_API bool InternetCloseHandle(HINTERNET handle);
// The calling thread's code of the last failure of the functions above.
CHARTLOOM_INET_API DWORD GetLastError();

// For the host, not for plug-ins.
// While on, every wait of every request ends at once: InternetOpenUrlA and InternetReadFile
// fail with ERROR_INTERNET_OPERATION_CANCELLED. The host turns it on when the user aborts a
// task and off when the task has ended. [any thread, also from a signal handler]
CHARTLOOM_INET_API void InternetCancelWaits(bool cancel);
// Receives one line for each request that fails, or whose final status is not 2xx: the URL
// and the cause ("connection refused", "timed out", "too many redirects", "HTTP 503" ...).
// Null turns it off. Called on the thread that made the request; set it before any request.
CHARTLOOM_INET_API void InternetSetDiagnostics(void (*sink)(const char* line));
