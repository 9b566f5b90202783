#include "chartclient/download.h"

#include <cstring>
#include <utility>

#include "platform/wininet.h"
#include "pluginbase/errors.h"

namespace chartloom {
namespace {

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET h) : h_(h) {}
    ~InternetHandle() {
        if (h_)
            InternetCloseHandle(h_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HINTERNET h_;
};

void checkAbort(const AbortSignal* abort) {
    if (abort && abort->isAborted())
        throw exception_aborted();
}

// A feed is a few kilobytes; anything this large is not one.
constexpr size_t MaxPageBytes = 16 * 1024 * 1024;

}  // namespace

void downloadPage(const char* url, std::string& page, const AbortSignal* abort) {
    page.clear();
    // Declared root first: the request handle is closed before it on every way out.
    InternetHandle root(
        InternetOpenA(UserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root)
        throw ServiceError("Could not open internet connection.");
    InternetHandle request(InternetOpenUrlA(root.get(), url, nullptr, 0, INTERNET_FLAG_NO_UI, 0));
    if (!request) {
        checkAbort(abort);  // the user's abort ended the wait
        throw ServiceError("Couldn't connect to Last.fm server.");
    }

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &size, nullptr)) {
        status = 0;
    }
    if (status == 404)
        throw FileNotFound("Artist could not be found on Last.fm");
    if (status != 200)
        throw ServiceError("Last.fm server returned an error.");
    checkAbort(abort);

    // Only the clean end of the body ends the loop: a page cut short is no page.
    char buffer[1024];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.get(), buffer, sizeof buffer, &got)) {
            checkAbort(abort);
            throw ServiceError("Couldn't connect to Last.fm server.");
        }
        if (got == 0)
            break;
        checkAbort(abort);
        page.append(buffer, strnlen(buffer, got));
        if (page.size() > MaxPageBytes)
            throw ServiceError("Last.fm server returned an error.");
    }
}

}  // namespace chartloom
