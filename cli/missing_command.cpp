#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "chartserver/feed_read.h"
#include "chartserver/feed_request.h"
#include "chartserver/upstream_caller.h"
#include "chartserver/upstream_fetch.h"
#include "cli/chart_source.h"
#include "cli/commands.h"
#include "cli/missing_tracks.h"
#include "cli/selection.h"
#include "cli/usage_error.h"
#include "library/library_loader.h"
#include "library/loose_tags.h"
#include "toolbase/store_error.h"
#include "toolbase/terminal_text.h"

namespace chartloom::cli {
namespace {

using nlohmann::json;

// Where the plug-in sends its requests when no chart source is given.
constexpr const char* kPluginService = "http://127.0.0.1:7380/";
// As long as the plug-in waits for a chart.
constexpr std::chrono::seconds kPatience{20};
constexpr size_t kTop = 10;

// The plug-in's message when its chart could not be read, as it shows it; or the chart's
// titles in the plug-in's order (by reach, scaled to the first entry's, highest first).
struct ChartRead {
    std::string message;
    std::vector<std::string> titles;
};

ChartRead readChart(const std::string& artist, const std::string& base) {
    std::string url = base + "1.0/artist/" + chartserver::segmentFor(artist) + "/toptracks.xml";
    std::atomic<bool> cancel{false};
    chartserver::UpstreamAnswer answer =
        chartserver::fetchUpstream({url}, chartserver::UpstreamProxy::fromEnvironment(),
                                   chartserver::kUserAgent, kPatience, cancel);
    if (!answer.delivered)
        return {"Couldn't connect to Last.fm server.", {}};
    if (answer.status == 404)
        return {"Artist could not be found on Last.fm", {}};
    if (answer.status != 200)
        return {"Last.fm server returned an error.", {}};
    const char* invalid = "Data Feed is invalid. This is a Last.fm Server error.";
    chartserver::FeedReading feed =
        chartserver::readFeed(chartserver::FeedKind::TopTracks, answer.body);
    if (!feed.readable)
        return {invalid, {}};
    std::vector<std::pair<int64_t, std::string>> chart;
    int64_t reference = -1;
    for (const chartserver::FeedEntry& entry : feed.entries) {
        if (entry.name.empty() || entry.value.empty())
            return {invalid, {}};
        int64_t reach = std::strtoll(entry.value.c_str(), nullptr, 10);
        if (reference < 0)
            reference = reach;
        chart.emplace_back(reference == 0 ? 0 : reach * 10000 / reference, entry.name);
    }
    if (chart.size() < 2)
        return {artist + "'s chart listing is empty", {}};
    std::stable_sort(chart.begin(), chart.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    ChartRead read;
    for (auto& [reach, title] : chart)
        read.titles.push_back(std::move(title));
    return read;
}

std::string quoted(const std::string& text) {
    return "\"" + printable(text) + "\"";
}

}  // namespace

int missingCommand(const SessionOptions& options) {
    try {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // The chart as the sources have it: the loose forms are compared here, not served.
        LastfmSettings settings = options.lastfm;
        settings.match = MatchMode::exact;
        ChartSource charts(options.charts, settings);
        bool loose = options.match == MatchMode::loose;
        player::Host host;
        std::vector<std::string> titles;  // as tagged, by track
        library::LoadReport report = library::loadWithTags(
            loose, [&](const player::TrackRecord& r) { host.addTrack(r); },
            [&](const library::TrackSink& sink) {
                return library::loadLibrary(options.library, [&](const player::TrackRecord& r) {
                    std::string title;
                    for (size_t f = 0; f < r.metaCount(); ++f) {
                        if (r.metaName(f) == "title" && r.valueCount(f) > 0)
                            title = r.value(f, 0);
                    }
                    titles.push_back(std::move(title));
                    sink(r);
                });
            });
        std::vector<Selector> rules;
        for (const std::string& text : options.select)
            rules.push_back(parseSelector(text));
        if (rules.empty())
            throw UsageError("missing needs --select (all, artist=NAME or path=PATH)");
        const std::vector<player::Track*>& tracks = host.libraryTracks();
        std::vector<player::Track*> selection;
        for (size_t i : select(tracks, rules, report.root))
            selection.push_back(tracks[i]);
        if (selection.empty())
            throw UsageError("nothing is selected: --select matched nothing in the library");
        std::string artist = votedArtist(selection);
        if (artist.empty())
            throw UsageError("none of the selected tracks has an artist tag");

        std::string base = charts.address().empty() ? kPluginService : charts.address();
        ChartRead chart = readChart(artist, base);
        if (!chart.message.empty()) {
            std::string cause = charts.causes() ? charts.causes()->causeOf(chart.message) : "";
            std::fprintf(stderr, "[foo_chartloom: Error] %s\n", printable(chart.message).c_str());
            if (!cause.empty())
                std::fprintf(stderr, "chart source: %s\n", printable(cause).c_str());
            return 1;
        }
        std::vector<ShownTrack> library;
        for (size_t i = 0; i < tracks.size(); ++i)
            library.push_back({tracks[i], titles[i]});
        std::vector<ChartMatch> matches = matchChart(chart.titles, artist, library, options.match);

        size_t have = 0, topHave = 0, top = std::min(kTop, matches.size()), alike = 0;
        for (size_t i = 0; i < matches.size(); ++i) {
            have += matches[i].found ? 1 : 0;
            topHave += i < top && matches[i].found ? 1 : 0;
            alike += !matches[i].found && matches[i].similarity == 100 ? 1 : 0;
        }
        const char* mode = loose ? "loose" : "exact";
        if (options.json) {
            json entries = json::array();
            for (size_t i = 0; i < matches.size(); ++i) {
                const ChartMatch& m = matches[i];
                json entry = {
                    {"position", i + 1}, {"title", m.title}, {"found", m.found.has_value()}};
                if (m.found) {
                    entry["path"] = std::string(m.found->track->pathView());
                    entry["libraryTitle"] = m.found->title;
                } else if (m.nearest) {
                    entry["nearest"] = {{"title", m.nearest->title},
                                        {"path", std::string(m.nearest->track->pathView())},
                                        {"similarity", m.similarity}};
                } else {
                    entry["nearest"] = nullptr;
                }
                entries.push_back(std::move(entry));
            }
            json doc = {{"artist", artist}, {"match", mode},        {"entries", entries},
                        {"have", have},     {"of", matches.size()}, {"topHave", topHave},
                        {"top", top}};
            std::cout << doc.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
            return 0;
        }
        std::cout << "chart of " << printable(artist) << " (" << matches.size()
                  << " tracks, matched " << mode << "):\n";
        int width = static_cast<int>(std::to_string(matches.size()).size());
        for (size_t i = 0; i < matches.size(); ++i) {
            const ChartMatch& m = matches[i];
            std::string line = std::to_string(i + 1);
            line.insert(0, static_cast<size_t>(width) - line.size(), ' ');
            if (m.found) {
                line += ". found    " + quoted(m.title) + ": " +
                        printable(std::string(m.found->track->pathView()));
            } else {
                line += ". missing  " + quoted(m.title);
                line += m.nearest ? " (nearest: " + quoted(m.nearest->title) + ", " +
                                        std::to_string(m.similarity) + "% alike)"
                                  : " (no track of the artist in the library)";
            }
            std::cout << line << "\n";
        }
        std::cout << "have " << have << " of " << matches.size() << " chart tracks (" << topHave
                  << " of the top " << top << ")\n";
        if (!loose && alike > 0)
            std::cout << alike << " missing " << (alike == 1 ? "title is" : "titles are")
                      << " alike a title of the artist's: --match loose may find "
                      << (alike == 1 ? "it" : "them") << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chartloom: %s\n", printable(e.what(), true).c_str());
        bool input = dynamic_cast<const UsageError*>(&e) || dynamic_cast<const StoreError*>(&e);
        return input ? 2 : 1;
    }
}

}  // namespace chartloom::cli
