#include "chartserver/listenbrainz_answer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>

#include "chartserver/feed_xml.h"
#include "chartserver/json_list.h"
#include "host/shared_functions.h"

namespace chartloom::chartserver {
namespace {

using Kind = ChartOutcome::Kind;
using nlohmann::json;

constexpr std::size_t kMostInFeed = 100;
constexpr std::size_t kMostRecordings = 5000;  // the answer is sorted: later ones cannot rank
constexpr std::size_t kMostSimilar = 1000;
constexpr std::size_t kMostResults = 25;
constexpr int kGoodScore = 95;
constexpr const char* kTokenHelp =
    ": get one (free) at https://listenbrainz.org/settings/ and pass it with "
    "--listenbrainz-token TOKEN or LISTENBRAINZ_TOKEN";

// Letter case aside, as everywhere else in the player.
struct FoldedLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return stricmp_utf8_ex(a.data(), a.size(), b.data(), b.size()) < 0;
    }
};

std::string textOf(const json& value) {
    return value.is_string() ? value.get<std::string>() : std::string();
}

std::optional<int64_t> numberOf(const json& value) {
    if (value.is_number_integer() || value.is_number_unsigned())
        return std::clamp<int64_t>(value.get<int64_t>(), 0, std::numeric_limits<int32_t>::max());
    if (value.is_number_float() && std::isfinite(value.get<double>()))
        return std::clamp<int64_t>(static_cast<int64_t>(value.get<double>()), 0,
                                   std::numeric_limits<int32_t>::max());
    std::string text = textOf(value);
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoll(text);
}

// A score may be negative: only its order matters until it is scaled.
double scoreOf(const json& value) {
    if (value.is_number() && std::isfinite(value.get<double>()))
        return value.get<double>();
    return numberOf(value).value_or(0);
}

// Statuses other than 200; null for 200.
std::optional<ChartOutcome> statusOutcome(const char* service, long status, bool tokenUsed) {
    if (status == 200)
        return std::nullopt;
    std::string http = " (HTTP " + std::to_string(status) + ")";
    if (tokenUsed && (status == 401 || status == 403))
        return ChartOutcome{
            Kind::Fail, {}, std::string(service) + " refused the token" + http + kTokenHelp};
    if (!tokenUsed && status == 403)
        return ChartOutcome{
            Kind::Fail, {}, std::string(service) + " refused the User-Agent" + http};
    std::string answered = std::string(service) + " answered HTTP " + std::to_string(status);
    if (status == 429)
        return ChartOutcome{Kind::Retry, {}, answered + " (too many requests)"};
    if (status >= 500 && status <= 599)
        return ChartOutcome{Kind::Retry, {}, answered};
    return ChartOutcome{Kind::Fail, {}, answered};
}

// The entries of a list that some entries of one name may repeat: the best of each name is
// kept, in the order of the first of its name.
template <class Entry, class Better>
std::vector<Entry> distinctByName(std::vector<Entry> entries, Better better) {
    std::map<std::string, std::size_t, FoldedLess> byName;
    std::vector<Entry> kept;
    for (Entry& entry : entries) {
        auto [at, added] = byName.try_emplace(entry.name, kept.size());
        if (added)
            kept.push_back(std::move(entry));
        else if (better(entry, kept[at->second]))
            kept[at->second] = std::move(entry);
    }
    return kept;
}

}  // namespace

std::string artistQuery(std::string_view name) {
    std::string phrase;
    for (char c : name) {
        if (c == '"' || c == '\\')
            phrase += '\\';
        phrase += c;
    }
    return "artist:\"" + phrase + "\"";
}

bool isMbid(std::string_view text) {
    if (text.size() != 36)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (dash ? c != '-' : !hex)
            return false;
    }
    return true;
}

ArtistMatch judgeArtistSearch(std::string_view asked, long httpStatus, std::string_view body) {
    if (std::optional<ChartOutcome> failed = statusOutcome("MusicBrainz", httpStatus, false))
        return {failed->kind, {}, {}, failed->reason};
    JsonList list = readJsonList(body, "artists", {"id", "name", "score"}, kMostResults);
    if (!list.error.empty() || !list.isList)
        return {Kind::Fail,
                {},
                {},
                "MusicBrainz's answer is no artist search" +
                    (list.error.empty() ? std::string() : ": " + list.error)};
    const std::vector<json>* good = nullptr;
    for (const std::vector<json>& result : list.entries) {
        if (!isMbid(textOf(result[0])))
            continue;
        std::string name = textOf(result[1]);
        if (stricmp_utf8_ex(name.data(), name.size(), asked.data(), asked.size()) == 0)
            return {Kind::Feed, textOf(result[0]), name, {}};
        if (!good && scoreOf(result[2]) >= kGoodScore)
            good = &result;
    }
    if (good)
        return {Kind::Feed, textOf((*good)[0]), textOf((*good)[1]), {}};
    return {Kind::NotFound, {}, {}, "MusicBrainz knows no artist named " + std::string(asked)};
}

ChartOutcome judgeTopRecordings(std::string_view artist, long httpStatus, std::string_view body,
                                bool truncated) {
    if (httpStatus == 400)
        return {Kind::NotFound, {}, "ListenBrainz knows no recordings of this artist (HTTP 400)"};
    if (std::optional<ChartOutcome> failed = statusOutcome("ListenBrainz", httpStatus, true))
        return *failed;
    JsonList list = readJsonList(
        body, "", {"recording_name", "total_listen_count", "total_user_count"}, kMostRecordings);
    if ((!list.error.empty() && !truncated) || !list.isList)
        return {Kind::Fail,
                {},
                "ListenBrainz's answer is no list of recordings" +
                    (list.error.empty() ? std::string() : ": " + list.error)};
    struct Recording {
        std::string name;
        int64_t listens, users;
        std::size_t order;
    };
    std::vector<Recording> recordings;
    for (const std::vector<json>& entry : list.entries) {
        std::string name = textOf(entry[0]);
        if (xmlEscaped(name).empty())
            continue;
        recordings.push_back({std::move(name), numberOf(entry[1]).value_or(0),
                              numberOf(entry[2]).value_or(0), recordings.size()});
    }
    recordings = distinctByName(std::move(recordings), [](const Recording& a, const Recording& b) {
        return a.listens > b.listens;
    });
    std::stable_sort(recordings.begin(), recordings.end(),
                     [](const Recording& a, const Recording& b) {
                         return a.users != b.users ? a.users > b.users : a.listens > b.listens;
                     });
    std::vector<ChartTrack> tracks;
    for (std::size_t i = 0; i < recordings.size() && i < kMostInFeed; ++i)
        tracks.push_back({std::move(recordings[i].name), recordings[i].users});
    return {Kind::Feed, topTracksXml(artist, tracks), {}, tracks.size()};
}

ChartOutcome judgeSimilarArtists(std::string_view artist, long httpStatus, std::string_view body,
                                 std::vector<std::pair<std::string, std::string>>& learnt) {
    if (httpStatus == 400)
        return {
            Kind::NotFound, {}, "ListenBrainz knows no similar artists of this artist (HTTP 400)"};
    if (std::optional<ChartOutcome> failed = statusOutcome("ListenBrainz", httpStatus, false))
        return *failed;
    JsonList list = readJsonList(body, "", {"name", "score", "artist_mbid"}, kMostSimilar);
    if (!list.error.empty() || !list.isList)
        return {Kind::Fail,
                {},
                "ListenBrainz's answer is no list of similar artists" +
                    (list.error.empty() ? std::string() : ": " + list.error)};
    struct Similar {
        std::string name;
        double score;
    };
    std::vector<Similar> artists;
    for (const std::vector<json>& entry : list.entries) {
        std::string name = textOf(entry[0]);
        if (xmlEscaped(name).empty())
            continue;
        if (std::string mbid = textOf(entry[2]); isMbid(mbid))
            learnt.emplace_back(name, mbid);
        artists.push_back({std::move(name), scoreOf(entry[1])});
    }
    artists = distinctByName(std::move(artists),
                             [](const Similar& a, const Similar& b) { return a.score > b.score; });
    std::stable_sort(artists.begin(), artists.end(),
                     [](const Similar& a, const Similar& b) { return a.score > b.score; });
    if (artists.size() > kMostInFeed)
        artists.resize(kMostInFeed);
    double highest = artists.empty() ? 0 : artists.front().score;
    std::vector<SimilarArtistEntry> entries;
    for (Similar& similar : artists) {
        std::optional<int> match;
        if (highest > 0)
            match = static_cast<int>(
                std::clamp(std::floor(100 * similar.score / highest + 1e-9), 0.0, 100.0));
        entries.push_back({std::move(similar.name), match});
    }
    return {Kind::Feed, similarArtistsXml(artist, entries), {}, entries.size()};
}

}  // namespace chartloom::chartserver
