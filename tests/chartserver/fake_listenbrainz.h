// A fake of the three services behind ListenBrainz charts on one loopback server, in the
// shapes they answer: MusicBrainz's artist search under /ws/2/, ListenBrainz's API under /lb/
// and ListenBrainz labs under /labs/. Records each call; a catalogue answers by default.
#pragma once

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/chartserver/fake_lastfm.h"
#include "tests/support/scripted_http_server.h"

namespace chartloom::testing {

struct LbCall {
    enum class Root { musicbrainz, listenbrainz, labs, other } root = Root::other;
    std::string artist;  // searched in MusicBrainz, the phrase's escapes undone
    std::string mbid;    // asked of ListenBrainz or labs
    Request request;
    std::chrono::steady_clock::time_point at;
};

// A MusicBrainz identifier made from a name, the same each time.
inline std::string fakeMbid(const std::string& name) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : name)
        h = (h ^ c) * 1099511628211ULL;
    char tail[13];
    std::snprintf(tail, sizeof tail, "%012llx",
                  static_cast<unsigned long long>(h & 0xFFFFFFFFFFFFULL));
    return std::string("0f1e2d3c-0000-4000-8000-") + tail;
}

struct FakeRecording {
    std::string name;
    int64_t listens;
    int64_t users;
};
struct FakeSimilar {
    std::string name;
    int score;
};

// An artist search answer: (name, score) per result, in the given order.
inline std::string searchJson(const std::vector<std::pair<std::string, int>>& results) {
    nlohmann::json artists = nlohmann::json::array();
    for (const auto& [name, score] : results) {
        artists.push_back({{"id", fakeMbid(name)},
                           {"type", "Group"},
                           {"type-id", "e431f5f6-b5d2-343d-8b36-72607fffb74b"},
                           {"score", score},
                           {"name", name},
                           {"sort-name", name},
                           {"country", "GB"},
                           {"area",
                            {{"id", "8a754a16-0027-3a29-b6d7-2b40ea0481ed"},
                             {"type", "Country"},
                             {"name", "United Kingdom"},
                             {"life-span", {{"ended", nullptr}}}}},
                           {"disambiguation", "a band"},
                           {"life-span", {{"begin", "1988"}, {"ended", nullptr}}},
                           {"aliases", {{{"name", name + " (alias)"}, {"locale", nullptr}}}},
                           {"tags", {{{"count", 5}, {"name", "rock"}}}}});
    }
    return nlohmann::json{{"created", "2024-05-01T10:00:00.000Z"},
                          {"count", results.size()},
                          {"offset", 0},
                          {"artists", artists}}
        .dump();
}

// A top-recordings answer of `artist`, entries as given (the service sorts by listens).
inline std::string recordingsJson(const std::string& artist,
                                  const std::vector<FakeRecording>& recordings) {
    nlohmann::json list = nlohmann::json::array();
    for (const FakeRecording& r : recordings) {
        list.push_back({{"artist_mbids", {fakeMbid(artist)}},
                        {"artist_name", artist},
                        {"caa_id", 1234},
                        {"caa_release_mbid", fakeMbid(artist + "/release")},
                        {"length", 121000},
                        {"recording_mbid", fakeMbid(artist + "/" + r.name)},
                        {"recording_name", r.name},
                        {"release_mbid", fakeMbid(artist + "/release")},
                        {"release_name", "Greatest"},
                        {"total_listen_count", r.listens},
                        {"total_user_count", r.users}});
    }
    return list.dump();
}

// A similar-artists answer for `reference`, entries as given.
inline std::string labsJson(const std::string& reference, const std::vector<FakeSimilar>& similar) {
    nlohmann::json list = nlohmann::json::array();
    for (const FakeSimilar& s : similar) {
        list.push_back({{"artist_mbid", fakeMbid(s.name)},
                        {"name", s.name},
                        {"comment", ""},
                        {"type", "Group"},
                        {"gender", nullptr},
                        {"score", s.score},
                        {"reference_mbid", fakeMbid(reference)}});
    }
    return list.dump();
}

// What the three services know: an artist is found by its name, in any ASCII letter case.
struct FakeCatalogue {
    std::map<std::string, std::vector<FakeRecording>> recordings;
    std::map<std::string, std::vector<FakeSimilar>> similar;

    // The answer to a call as the services would give it.

    Response answer(const LbCall& call) const {
        if (call.root == LbCall::Root::musicbrainz) {
            std::vector<std::pair<std::string, int>> results = {{"A Tribute Band", 60}};
            auto lower = [](std::string text) {
                for (char& c : text)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                return text;
            };
            std::vector<std::string> names;
            for (const auto& entry : recordings)
                names.push_back(entry.first);
            for (const auto& entry : similar)
                names.push_back(entry.first);
            for (const std::string& name : names) {
                if (lower(name) == lower(call.artist)) {
                    results.insert(results.begin(), std::make_pair(name, 100));
                    break;
                }
            }
            return Response::text(200, searchJson(results));
        }
        for (const auto& [name, list] : recordings) {
            if (call.root == LbCall::Root::listenbrainz && fakeMbid(name) == call.mbid)
                return Response::text(200, recordingsJson(name, list));
        }
        for (const auto& [name, list] : similar) {
            if (call.root == LbCall::Root::labs && fakeMbid(name) == call.mbid)
                return Response::text(200, labsJson(name, list));
        }
        if (call.root == LbCall::Root::labs)
            return Response::text(200, "[]");
        return Response::text(400, R"({"code":400,"error":"Invalid artist mbid"})");
    }
};

class FakeListenBrainz {
public:
    using Script = std::function<Response(const LbCall&)>;

    explicit FakeListenBrainz(Script script)
        : script_(std::move(script)), server_([this](const Request& r) { return answer(r); }) {}

    std::string musicbrainz() const { return server_.url("/ws/2/"); }
    std::string listenbrainz() const { return server_.url("/lb/"); }
    std::string labs() const { return server_.url("/labs/"); }
    std::vector<LbCall> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::size_t count(LbCall::Root root) const {
        std::size_t n = 0;
        for (const LbCall& call : calls())
            n += call.root == root;
        return n;
    }

private:
    Response answer(const Request& request) {
        LbCall call;
        call.request = request;
        call.at = std::chrono::steady_clock::now();
        const std::string recordings = "/lb/1/popularity/top-recordings-for-artist/";
        if (request.path == "/ws/2/artist") {
            call.root = LbCall::Root::musicbrainz;
            std::string phrase = queryValue(request.query, "query");
            if (phrase.starts_with("artist:\"") && phrase.ends_with("\"")) {
                phrase = phrase.substr(8, phrase.size() - 9);
                for (std::size_t i = 0; i < phrase.size(); ++i) {
                    if (phrase[i] == '\\')
                        ++i;
                    if (i < phrase.size())
                        call.artist += phrase[i];
                }
            }
        } else if (request.path.starts_with(recordings)) {
            call.root = LbCall::Root::listenbrainz;
            call.mbid = request.path.substr(recordings.size());
        } else if (request.path == "/labs/similar-artists/json") {
            call.root = LbCall::Root::labs;
            call.mbid = queryValue(request.query, "artist_mbids");
        }
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(call);
        }
        return script_(call);
    }

    mutable std::mutex mutex_;
    std::vector<LbCall> calls_;
    Script script_;
    ScriptedHttpServer server_;  // last: answers only once the rest is ready
};

}  // namespace chartloom::testing
