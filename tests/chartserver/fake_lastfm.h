// A fake Last.fm 2.0 API on loopback: records each call (method, artist, time) and answers
// what the test's script says.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/scripted_http_server.h"

namespace chartloom::testing {

struct UpstreamCall {
    std::string method;  // "artist.gettoptracks" or "artist.getsimilar"
    std::string artist;
    Request request;
    std::chrono::steady_clock::time_point at;
};

inline std::string queryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        std::string_view pair = query.substr(0, query.find('&'));
        query.remove_prefix(std::min(query.size(), pair.size() + 1));
        if (pair.substr(0, pair.find('=')) != name || pair.find('=') == std::string_view::npos)
            continue;
        std::string_view raw = pair.substr(pair.find('=') + 1);
        std::string value;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '%' && i + 2 < raw.size()) {
                value +=
                    static_cast<char>(std::stoi(std::string(raw.substr(i + 1, 2)), nullptr, 16));
                i += 2;
            } else {
                value += raw[i] == '+' ? ' ' : raw[i];
            }
        }
        return value;
    }
    return {};
}

class FakeLastfm {
public:
    using Script = std::function<Response(const UpstreamCall&)>;

    explicit FakeLastfm(Script script)
        : script_(std::move(script)), server_([this](const Request& r) { return answer(r); }) {}

    std::string root() const { return server_.url("/2.0/"); }
    std::vector<UpstreamCall> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    Response answer(const Request& request) {
        UpstreamCall call{queryValue(request.query, "method"), queryValue(request.query, "artist"),
                          request, std::chrono::steady_clock::now()};
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(call);
        }
        return script_(call);
    }

    mutable std::mutex mutex_;
    std::vector<UpstreamCall> calls_;
    Script script_;
    ScriptedHttpServer server_;  // last: answers only once the rest is ready
};

// A top-tracks answer in the API's shape with `titles`, listeners falling from 1000.
inline std::string topTracksJson(const std::string& artist,
                                 const std::vector<std::string>& titles) {
    std::string tracks;
    int listeners = 1000;
    for (const std::string& title : titles) {
        tracks += std::string(tracks.empty() ? "" : ",") + R"({"name":")" + title +
                  R"(","playcount":"1","listeners":")" + std::to_string(listeners) +
                  R"(","url":"u","artist":{"name":")" + artist + R"("},"@attr":{"rank":"1"}})";
        listeners -= 100;
    }
    return R"({"toptracks":{"track":[)" + tracks + R"(],"@attr":{"artist":")" + artist +
           R"(","page":"1","perPage":"100","totalPages":"1","total":"2"}}})";
}

// A similar-artists answer in the API's shape: (name, match text) pairs.
inline std::string similarJson(const std::string& artist,
                               const std::vector<std::pair<std::string, std::string>>& artists) {
    std::string list;
    for (const auto& [name, match] : artists) {
        list += std::string(list.empty() ? "" : ",") + R"({"name":")" + name + R"(","match":")" +
                match + R"(","url":"u"})";
    }
    return R"({"similarartists":{"artist":[)" + list + R"(],"@attr":{"artist":")" + artist +
           R"("}}})";
}

inline Response lastfmError(int code, const std::string& message) {
    return Response::text(200, R"({"error":)" + std::to_string(code) + R"(,"message":")" + message +
                                   R"(","links":[]})");
}

}  // namespace chartloom::testing
