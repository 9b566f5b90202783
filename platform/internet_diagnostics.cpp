#include "platform/internet_diagnostics.h"

#include <atomic>

namespace chartloom::inet {
namespace {

std::atomic<void (*)(const char*)> g_sink{nullptr};

void emit(const std::string& line) {
    if (auto sink = g_sink.load())
        sink(line.c_str());
}

}  // namespace

const char* describeError(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_TIMEOUT:
            return "timed out";
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            return "host name not resolved";
        case ERROR_INTERNET_CANNOT_CONNECT:
            return "connection refused or unreachable";
        case ERROR_INTERNET_CONNECTION_ABORTED:
            return "connection closed before the end of the answer";
        case ERROR_INTERNET_CONNECTION_RESET:
            return "connection reset";
        case ERROR_HTTP_REDIRECT_FAILED:
            return "too many redirects, or a redirect to a scheme other than http(s)";
        case ERROR_HTTP_INVALID_SERVER_RESPONSE:
            return "malformed answer";
        case ERROR_INTERNET_OPERATION_CANCELLED:
            return "cancelled";
        case ERROR_INTERNET_INVALID_URL:
            return "malformed URL";
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
            return "not an http(s) URL";
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
            return "TLS failure";
        case ERROR_NOT_ENOUGH_MEMORY:
            return "out of memory";
        default:
            return "failed";
    }
}

void reportFailure(const std::string& url, DWORD error, std::size_t bodyBytes) {
    std::string line = "GET " + url + ": " + describeError(error);
    if (bodyBytes > 0)
        line += " after " + std::to_string(bodyBytes) + " bytes of the body";
    emit(line);
}

void reportStatus(const std::string& url, uint32_t status) {
    emit("GET " + url + ": HTTP " + std::to_string(status));
}

}  // namespace chartloom::inet

void InternetSetDiagnostics(void (*sink)(const char* line)) {
    chartloom::inet::g_sink.store(sink);
}
