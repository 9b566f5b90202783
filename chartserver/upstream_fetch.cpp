#include "chartserver/upstream_fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string_view>

#include "toolbase/ascii_text.h"

namespace chartloom::chartserver {
namespace {

constexpr std::size_t kMaxBody = 2 * 1024 * 1024;  // answers are tens of kilobytes

struct Transfer {
    std::string body;
    bool tooBig = false;
    const std::atomic<bool>* cancel = nullptr;
};

size_t onData(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    if (transfer->body.size() + size * count > kMaxBody) {
        transfer->tooBig = true;
        return 0;
    }
    transfer->body.append(data, size * count);
    return size * count;
}

int onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(context)->cancel->load() ? 1 : 0;
}

std::string escaped(const std::string& text) {
    std::unique_ptr<char, decltype(&curl_free)> out(
        curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size())), curl_free);
    return out ? std::string(out.get()) : std::string();
}

}  // namespace

UpstreamAnswer fetchUpstream(const std::string& url, const UpstreamProxy& proxy,
                             const std::string& userAgent, std::chrono::milliseconds timeout,
                             const std::atomic<bool>& cancel) {
    UpstreamAnswer answer;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        answer.failure = "cannot start a transfer";
        return answer;
    }
    Transfer transfer;
    transfer.cancel = &cancel;
    char errorText[CURL_ERROR_SIZE] = "";
    long ms = std::max<long>(1, static_cast<long>(timeout.count()));
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, ms);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, std::min(ms, 10000L));
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    // Explicit settings, so that a proxy the process set for its own plug-in is never used.
    std::string proxyUrl = proxy.proxyFor(url);
    curl_easy_setopt(h, CURLOPT_PROXY, proxyUrl.c_str());
    curl_easy_setopt(h, CURLOPT_NOPROXY, proxy.noProxy.value_or("").c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);

    CURLcode rc = curl_easy_perform(h);
    if (rc != CURLE_OK) {
        answer.tooBig = transfer.tooBig;
        answer.failure = transfer.tooBig ? "the answer is larger than 2 MiB"
                         : *errorText    ? errorText
                                         : curl_easy_strerror(rc);
        return answer;
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.delivered = true;
    answer.body = std::move(transfer.body);
    return answer;
}

std::string redacted(std::string text, const std::string& secret) {
    auto isWordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    for (const std::string& form : {secret, escaped(secret)}) {
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
