#include "chartserver/url_text.h"

#include <curl/curl.h>

#include <memory>

namespace chartloom::chartserver {

std::string urlEscaped(const std::string& text) {
    std::unique_ptr<char, decltype(&curl_free)> out(
        curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size())), curl_free);
    return out ? std::string(out.get()) : std::string();
}

std::string withQuery(const std::string& url, const std::string& query) {
    return url + (url.find('?') == std::string::npos ? "?" : "&") + query;
}

}  // namespace chartloom::chartserver
