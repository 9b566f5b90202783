#include "chartserver/upstream_fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>

#include "chartserver/url_text.h"
#include "toolbase/ascii_text.h"

namespace chartloom::chartserver {
namespace {

constexpr std::size_t kMaxHeaders = 64;  // of one answer; more are not kept

struct Transfer {
    std::string body;
    std::size_t maxBody = 0;
    bool keepPrefix = false;
    bool cut = false;
    std::vector<std::pair<std::string, std::string>> headers;
    const std::atomic<bool>* cancel = nullptr;
};

size_t onData(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    std::size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->maxBody) {
        transfer->body.append(data, transfer->maxBody - transfer->body.size());
        transfer->cut = true;
        return 0;
    }
    transfer->body.append(data, bytes);
    return bytes;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// Keeps the header lines of the last answer: a status line (a redirect hop, a 1xx) starts over.
size_t onHeader(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) {
        transfer->headers.clear();
    } else if (std::size_t colon = line.find(':');
               colon != std::string_view::npos && transfer->headers.size() < kMaxHeaders) {
        transfer->headers.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                       std::string(trimmed(line.substr(colon + 1))));
    }
    return size * count;
}

int onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(context)->cancel->load() ? 1 : 0;
}

std::string mebibytes(std::size_t bytes) {
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB";
}

// What went wrong, in words that name the host, from libcurl's result and the system's error.
void describe(UpstreamAnswer& answer, CURLcode rc, long osError, const std::string& url,
              const std::string& proxyUrl, std::chrono::milliseconds timeout,
              const char* curlText) {
    using Failure = UpstreamAnswer::Failure;
    std::string host = hostOf(url);
    switch (rc) {
        case CURLE_COULDNT_RESOLVE_HOST:
            answer.failure = Failure::resolve;
            answer.failureText = "could not resolve " + host + " (network unreachable?)";
            return;
        case CURLE_COULDNT_RESOLVE_PROXY:
            answer.failure = Failure::resolve;
            answer.failureText = "could not resolve the proxy " + hostOf(proxyUrl);
            return;
        case CURLE_COULDNT_CONNECT:
            if (osError == ENETUNREACH || osError == EHOSTUNREACH) {
                answer.failure = Failure::unreachable;
                answer.failureText = host + " is unreachable (network down?)";
            } else {
                answer.failure = Failure::refused;
                answer.failureText = host + " refused the connection";
            }
            if (!proxyUrl.empty())
                answer.failureText += " (through the proxy " + hostOf(proxyUrl) + ")";
            return;
        case CURLE_OPERATION_TIMEDOUT:
            answer.failure = Failure::timeout;
            answer.failureText = host + " did not answer within " +
                                 std::to_string((timeout.count() + 999) / 1000) + " s";
            return;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            answer.failure = Failure::tls;
            answer.failureText = "the secure connection to " + host + " failed: " + curlText;
            return;
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            answer.failure = Failure::broken;
            answer.failureText = host + " broke the connection off";
            return;
        default:
            answer.failure = Failure::other;
            answer.failureText = host + ": " + curlText;
    }
}

}  // namespace

std::optional<std::string> UpstreamAnswer::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (equalsNoCase(key, name))
            return value;
    }
    return std::nullopt;
}

std::string hostOf(const std::string& url) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
    char* host = nullptr;
    if (!parsed ||
        curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(),
                     CURLU_NON_SUPPORT_SCHEME | CURLU_GUESS_SCHEME) != CURLUE_OK ||
        curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
        return {};
    }
    std::string text = host;
    curl_free(host);
    return text;
}

UpstreamAnswer fetchUpstream(const UpstreamRequest& request, const UpstreamProxy& proxy,
                             const std::string& userAgent, std::chrono::milliseconds timeout,
                             const std::atomic<bool>& cancel) {
    UpstreamAnswer answer;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr,
                                                                        curl_slist_free_all);
    for (const std::string& line : request.headers) {
        curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
        if (grown == nullptr) {
            curl.reset();
            break;
        }
        (void)headers.release();  // `grown` owns the whole list now
        headers.reset(grown);
    }
    if (!curl) {
        answer.failure = UpstreamAnswer::Failure::other;
        answer.failureText = "cannot start a transfer";
        return answer;
    }
    Transfer transfer;
    transfer.maxBody = request.maxBody;
    transfer.keepPrefix = request.keepPrefix;
    transfer.cancel = &cancel;
    char errorText[CURL_ERROR_SIZE] = "";
    long ms = std::max<long>(1, static_cast<long>(timeout.count()));
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, ms);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, std::min(ms, 10000L));
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    // Explicit settings, so that a proxy the process set for its own plug-in is never used.
    std::string proxyUrl = proxy.proxyFor(request.url);
    curl_easy_setopt(h, CURLOPT_PROXY, proxyUrl.c_str());
    curl_easy_setopt(h, CURLOPT_NOPROXY, proxy.noProxy.value_or("").c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);

    CURLcode rc = curl_easy_perform(h);
    bool cutShort = transfer.cut && rc == CURLE_WRITE_ERROR;
    if (rc != CURLE_OK && !(cutShort && transfer.keepPrefix)) {
        if (cutShort) {
            answer.failure = UpstreamAnswer::Failure::tooBig;
            answer.failureText = "the answer is larger than " + mebibytes(request.maxBody);
        } else {
            long osError = 0;
            curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osError);
            describe(answer, rc, osError, request.url, proxyUrl, timeout,
                     *errorText ? errorText : curl_easy_strerror(rc));
        }
        return answer;
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.delivered = true;
    answer.truncated = cutShort;
    answer.body = std::move(transfer.body);
    answer.headers = std::move(transfer.headers);
    return answer;
}

std::string redacted(std::string text, const std::string& secret) {
    auto isWordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    for (const std::string& form : {secret, urlEscaped(secret)}) {
        if (form.empty())
            continue;
        for (std::size_t at = 0; at + form.size() <= text.size();) {
            bool whole = (at == 0 || !isWordChar(text[at - 1])) &&
                         (at + form.size() == text.size() || !isWordChar(text[at + form.size()]));
            if (whole && equalsNoCase(std::string_view(text).substr(at, form.size()), form)) {
                text.replace(at, form.size(), "***");
                at += 3;
            } else {
                ++at;
            }
        }
    }
    return text;
}

}  // namespace chartloom::chartserver
