// The chart service, in-process: answers the plug-in's two feeds over HTTP from chart
// sources asked in turn (a folder of feed files, Last.fm, ListenBrainz, another chart
// service), on threads of its own.
//
//   ChartServer server("data/demo/feeds");                  // a free port on 127.0.0.1
//   ChartServer live(ChartServerOptions{.lastfm = options});  // the bridge
//   ... point clients at server.address() (also usable as their http_proxy) ...
//   server.stop();                                           // or let the destructor do it
//
// It answers GET (and HEAD) for /1.0/artist/<segment>/toptracks.xml and .../similar.xml.
// From a folder: the file FEEDS/<folder>/<file>, where <folder> is the segment exactly as
// sent (still percent-encoded) or else the artist's plain name; a sibling "<file>.status"
// holding a number makes it answer that status (body: the feed file if there is one, else
// empty). A feed file that cannot be read as a feed is 500. Anything else is 404, other
// methods 405. Origin-form and absolute-form targets are both accepted. Nothing outside the
// feeds folder is ever served.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "chartserver/http_service.h"
#include "chartserver/lastfm_bridge.h"
#include "chartserver/listenbrainz_bridge.h"
#include "toolbase/loose_match.h"

namespace chartloom::chartserver {

// Another chart service, asked as the plug-in would ask it.
struct RemoteService {
    std::string base;  // "http://HOST:PORT/"
    UpstreamProxy proxy;
};
struct FeedsFolder {
    std::filesystem::path path;
};
using SourceOptions = std::variant<FeedsFolder, LastfmOptions, ListenBrainzOptions, RemoteService>;

// One feed request answered, as the sources saw it.
struct ChartEvent {
    FeedKind feed = FeedKind::TopTracks;
    std::string artist;
    int status = 404;
    std::string from;       // the source that answered; empty when none had the chart
    std::string cause;      // why it is no usable fresh chart, in words a person reads; else empty
    bool stale = false;     // a cached chart, older than wanted
    int64_t fetchedAt = 0;  // of a stale chart: seconds since the epoch
    std::size_t entries = 0;  // of a 200 answer that reads as a feed
};

struct ChartServerOptions {
    std::optional<std::filesystem::path> feeds;
    std::optional<LastfmOptions> lastfm;
    std::string bind = "127.0.0.1";
    int port = 0;  // 0 picks a free one
    // One line per request (method, path, status, source, milliseconds); none when empty.
    std::function<void(const std::string&)> requestLog;
    // Problems worth telling (cache unusable, the service refusing); none when empty.
    std::function<void(const std::string&)> report;
    HttpLimits limits;
    // Threads that ask upstream at once. A service inside one command, whose plug-in asks one
    // thing at a time, needs few (and its HTTP side one thread: limits.threads).
    size_t upstreamWorkers = 16;
    std::optional<ListenBrainzOptions> listenbrainz;
    // The sources are asked in this order: feeds, lastfm, listenbrainz (those given), then
    // these.
    std::vector<SourceOptions> sources;
    // Told of each feed request answered, from the serving threads; none when empty.
    std::function<void(const ChartEvent&)> observe;
    // loose: charts are served with loose names, whichever source answered (see LooseFeeds).
    MatchMode match = MatchMode::exact;
};

class ChartServer {
public:
    // Listens before returning. Throws std::runtime_error with a message that names the
    // folder or address when `feeds` is not a folder or bind:port cannot be listened on.
    ChartServer(const std::filesystem::path& feeds, const std::string& bind = "127.0.0.1",
                int port = 0);
    explicit ChartServer(ChartServerOptions options);
    ChartServer(const ChartServer&) = delete;
    ChartServer& operator=(const ChartServer&) = delete;
    ~ChartServer();  // stops

    // The port listened on (the chosen one when constructed with port 0).
    uint16_t port() const;
    // "http://ADDR:PORT/" (IPv6 addresses in brackets): the service's base address.
    std::string address() const;
    // Stops listening, abandons upstream requests and waits for the serving threads.
    // Idempotent; any thread but a request handler's may call it.
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace chartloom::chartserver
