// One pull-style HTTP GET on libcurl: a CURLM with a single easy handle, pumped only while the
// reader waits, so at most what one pump delivers is held in memory.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/internet_timeouts.h"
#include "platform/wininet.h"

namespace chartloom::inet {

// curl_global_init, exactly once per process, before any transfer. False if it failed.
bool ensureCurlInitialised();

struct TransferOptions {
    std::string url;
    std::optional<std::string> userAgent;
    std::vector<std::string> headers;  // extra request header lines
    Timeouts timeouts;
};

// Not thread-safe: the owner serialises calls.
class Transfer {
public:
    // Starts the request and waits for the final response's headers (redirects followed).
    // Null on failure, with the Windows error code in `error`.
    static std::unique_ptr<Transfer> open(const TransferOptions& options, DWORD& error);

    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer();

    uint32_t status() const { return status_; }

    // Waits for body bytes and copies at most `size` of them; `got` = 0 at the end of the body.
    // False, with `error`, once the bytes received before a broken transfer are handed out.
    bool read(void* buffer, std::size_t size, std::size_t& got, DWORD& error);

private:
    using Clock = std::chrono::steady_clock;
    struct EasyDeleter {
        void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
    };
    struct MultiDeleter {
        void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
    };
    struct ListDeleter {
        void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    };

    explicit Transfer(const TransferOptions& options);
    DWORD start(const TransferOptions& options);
    template <typename Ready>
    void pumpUntil(Ready ready);
    void collectFinished();
    void fail(DWORD error);
    void onHeadersEnd();

    static size_t onHeader(char* data, size_t size, size_t count, void* self);
    static size_t onBody(char* data, size_t size, size_t count, void* self);
    static int onConnected(void* self, char* connIp, char* localIp, int connPort, int localPort);

    // Declaration order is teardown order in reverse: the easy handle goes first.
    std::unique_ptr<curl_slist, ListDeleter> headerList_;
    std::unique_ptr<CURLM, MultiDeleter> multi_;
    std::unique_ptr<CURL, EasyDeleter> easy_;
    bool attached_ = false;

    const std::string url_;
    const Timeouts timeouts_;
    const Clock::time_point opened_;
    Clock::time_point lastByte_;
    bool connecting_ = true;  // no connection for the current hop yet

    bool hopHasLocation_ = false;
    bool headersReady_ = false;
    uint32_t status_ = 0;

    std::string body_;  // received, not yet handed out from bodyPos_ on
    std::size_t bodyPos_ = 0;
    std::size_t received_ = 0;  // body bytes in all
    bool failureReported_ = false;
    bool outOfMemory_ = false;

    bool finished_ = false;
    DWORD failure_ = ERROR_SUCCESS;
};

}  // namespace chartloom::inet
