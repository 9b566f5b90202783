#include "platform/internet_transfer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

#include "platform/internet_cancel.h"
#include "platform/internet_diagnostics.h"
#include "platform/internet_errors.h"

namespace chartloom::inet {
namespace {

constexpr long kMaxRedirects = 10;
// The longest a wait sleeps without looking at the clock and at the cancel switch.
constexpr auto kPollSlice = std::chrono::milliseconds(50);

// libcurl's own ASCII compare, so protocol words are never folded as Unicode.
bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           curl_strnequal(text.data(), prefix.data(), prefix.size()) != 0;
}

bool isBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

}  // namespace

bool ensureCurlInitialised() {
    static std::once_flag once;
    static bool initialised = false;
    std::call_once(once, [] { initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return initialised;
}

std::unique_ptr<Transfer> Transfer::open(const TransferOptions& options, DWORD& error) {
    if (!startsWithNoCase(options.url, "http://") && !startsWithNoCase(options.url, "https://")) {
        error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        return nullptr;
    }
    if (!ensureCurlInitialised()) {
        error = ERROR_INTERNET_INTERNAL_ERROR;
        return nullptr;
    }
    std::unique_ptr<Transfer> transfer(new (std::nothrow) Transfer(options));
    if (!transfer) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    error = transfer->start(options);
    if (error != ERROR_SUCCESS) {
        return nullptr;
    }
    transfer->pumpUntil([&] { return transfer->headersReady_; });
    if (!transfer->headersReady_) {
        error = transfer->failure_ != ERROR_SUCCESS ? transfer->failure_
                                                    : ERROR_INTERNET_INTERNAL_ERROR;
        reportFailure(options.url, error, 0);
        return nullptr;
    }
    if (transfer->status_ < 200 || transfer->status_ > 299)
        reportStatus(options.url, transfer->status_);
    return transfer;
}

Transfer::Transfer(const TransferOptions& options)
    : url_(options.url), timeouts_(options.timeouts), opened_(Clock::now()) {}

Transfer::~Transfer() {
    if (attached_) {
        curl_multi_remove_handle(multi_.get(), easy_.get());
    }
}

DWORD Transfer::start(const TransferOptions& options) {
    multi_.reset(curl_multi_init());
    easy_.reset(curl_easy_init());
    if (!multi_ || !easy_) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    for (const std::string& line : options.headers) {
        curl_slist* grown = curl_slist_append(headerList_.get(), line.c_str());
        if (!grown) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        (void)headerList_.release();  // `grown` now owns the whole list
        headerList_.reset(grown);
    }

    CURL* easy = easy_.get();
    CURLcode rc = CURLE_OK;
    const auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK) {
            rc = curl_easy_setopt(easy, option, value);
        }
    };
    set(CURLOPT_URL, options.url.c_str());
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts_.connect.count()));
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (options.userAgent) {
        set(CURLOPT_USERAGENT, options.userAgent->c_str());
    }
    if (headerList_) {
        set(CURLOPT_HTTPHEADER, headerList_.get());
    }
    set(CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(this));
    set(CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    set(CURLOPT_WRITEDATA, static_cast<void*>(this));
    set(CURLOPT_PREREQFUNCTION, &Transfer::onConnected);
    set(CURLOPT_PREREQDATA, static_cast<void*>(this));
    if (rc != CURLE_OK) {
        return errorFromCurl(rc, 0);
    }
    if (curl_multi_add_handle(multi_.get(), easy) != CURLM_OK) {
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
    attached_ = true;
    lastByte_ = Clock::now();
    return ERROR_SUCCESS;
}

// Drives libcurl until `ready()` or the end of the transfer. The idle timer counts from the
// last byte received, or from the start of this wait if that is later, so time the caller
// spends between reads is not held against the server.
template <typename Ready>
void Transfer::pumpUntil(Ready ready) {
    const Clock::time_point waitStart = Clock::now();
    while (!ready() && !finished_) {
        if (waitsCancelled()) {
            fail(ERROR_INTERNET_OPERATION_CANCELLED);
            break;
        }
        if (Clock::now() - opened_ >= timeouts_.total) {
            fail(ERROR_INTERNET_TIMEOUT);
            break;
        }
        int running = 0;
        if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) {
            fail(ERROR_INTERNET_INTERNAL_ERROR);
            break;
        }
        collectFinished();
        if (ready() || finished_) {
            break;
        }
        // Until a hop is connected, the connect time-out bounds the wait; then the stall one.
        const auto limit =
            connecting_ ? std::max(timeouts_.connect, timeouts_.stall) : timeouts_.stall;
        const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(
            Clock::now() - std::max(lastByte_, waitStart));
        if (idle >= limit) {
            fail(ERROR_INTERNET_TIMEOUT);
            break;
        }
        const auto wait = std::min(limit - idle, std::chrono::milliseconds(kPollSlice));
        if (curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(wait.count()), nullptr) !=
            CURLM_OK) {
            fail(ERROR_INTERNET_INTERNAL_ERROR);
            break;
        }
    }
}

void Transfer::collectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
        if (message->msg != CURLMSG_DONE || message->easy_handle != easy_.get()) {
            continue;
        }
        const CURLcode result = message->data.result;
        if (result == CURLE_OK) {
            finished_ = true;
            if (!headersReady_) {
                long code = 0;
                curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code);
                status_ = static_cast<uint32_t>(code);
                headersReady_ = true;
            }
        } else {
            long osErrno = 0;
            curl_easy_getinfo(easy_.get(), CURLINFO_OS_ERRNO, &osErrno);
            fail(outOfMemory_ ? ERROR_NOT_ENOUGH_MEMORY : errorFromCurl(result, osErrno));
        }
    }
}

void Transfer::fail(DWORD error) {
    finished_ = true;
    failure_ = error;
    if (attached_) {  // stop the transfer now; the connection goes with the easy handle
        curl_multi_remove_handle(multi_.get(), easy_.get());
        attached_ = false;
    }
}

bool Transfer::read(void* buffer, std::size_t size, std::size_t& got, DWORD& error) {
    got = 0;
    if (size == 0) {
        return true;
    }
    pumpUntil([this] { return bodyPos_ < body_.size(); });
    if (bodyPos_ < body_.size()) {
        got = std::min(size, body_.size() - bodyPos_);
        std::memcpy(buffer, body_.data() + bodyPos_, got);
        bodyPos_ += got;
        if (bodyPos_ == body_.size()) {
            body_.clear();
            bodyPos_ = 0;
        }
        return true;
    }
    if (failure_ != ERROR_SUCCESS) {
        error = failure_;
        if (!failureReported_) {
            failureReported_ = true;
            reportFailure(url_, failure_, received_);
        }
        return false;
    }
    return true;
}

// A response's headers are complete. Interim (1xx) responses and redirect hops that libcurl
// will follow are skipped; the final response's status is kept.
void Transfer::onHeadersEnd() {
    long code = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code);
    if (code >= 100 && code < 200) {
        return;
    }
    if (code >= 300 && code < 400 && hopHasLocation_) {
        connecting_ = true;  // the next hop may need a new connection
        return;
    }
    status_ = static_cast<uint32_t>(code);
    headersReady_ = true;
}

size_t Transfer::onHeader(char* data, size_t size, size_t count, void* self) {
    auto& transfer = *static_cast<Transfer*>(self);
    const size_t length = size * count;
    const std::string_view line(data, length);
    transfer.lastByte_ = Clock::now();
    if (startsWithNoCase(line, "HTTP/")) {
        transfer.hopHasLocation_ = false;
    } else if (isBlank(line)) {
        transfer.onHeadersEnd();
    } else if (startsWithNoCase(line, "location:")) {
        transfer.hopHasLocation_ = !isBlank(line.substr(9));
    }
    return length;
}

size_t Transfer::onBody(char* data, size_t size, size_t count, void* self) {
    auto& transfer = *static_cast<Transfer*>(self);
    const size_t length = size * count;
    transfer.lastByte_ = Clock::now();
    if (!transfer.headersReady_) {  // body bytes belong to the final response in any case
        long code = 0;
        curl_easy_getinfo(transfer.easy_.get(), CURLINFO_RESPONSE_CODE, &code);
        transfer.status_ = static_cast<uint32_t>(code);
        transfer.headersReady_ = true;
    }
    transfer.received_ += length;
    try {
        transfer.body_.append(data, length);
    } catch (const std::bad_alloc&) {
        transfer.outOfMemory_ = true;
        return 0;  // makes libcurl end the transfer with an error
    }
    return length;
}

int Transfer::onConnected(void* self, char*, char*, int, int) {
    auto& transfer = *static_cast<Transfer*>(self);
    transfer.connecting_ = false;
    transfer.lastByte_ = Clock::now();
    return CURL_PREREQFUNC_OK;
}

}  // namespace chartloom::inet
