// The chart service answering from the bridge's cache on loopback: latency percentiles and
// requests per second over 4 and 64 keep-alive connections, alone and while 16 requests wait
// on a slow upstream; and a warm "Similar Charts Playlist" end to end on the demo library,
// every feed it asks for already cached.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "chartserver/chart_server.h"
#include "chartserver/feed_cache.h"
#include "chartserver/feed_request.h"
#include "library/library_loader.h"
#include "player/host.h"
#include "tests/support/scripted_http_server.h"

namespace {

namespace fs = std::filesystem;
using namespace chartloom;
using Clock = std::chrono::steady_clock;

struct ScratchDir {
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "chartloom-bench-XXXXXX").string();
        path = ::mkdtemp(pattern.data()) ? pattern : throw std::runtime_error("mkdtemp failed");
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int64_t now() {
    return static_cast<int64_t>(std::time(nullptr));
}

std::atomic<int64_t> g_requests{0};

std::unique_ptr<chartserver::ChartServer> bridge(const fs::path& cache, bool offline,
                                                 const std::string& upstream = {}) {
    chartserver::LastfmOptions lastfm;
    lastfm.cacheFile = cache;
    lastfm.offline = offline;
    lastfm.apiKey = "0123456789abcdef0123456789abcdef";
    lastfm.rootUrl = upstream;
    lastfm.rate = 100;
    chartserver::ChartServerOptions options;
    options.lastfm = lastfm;
    options.requestLog = [](const std::string&) { ++g_requests; };
    return std::make_unique<chartserver::ChartServer>(std::move(options));
}

std::unique_ptr<chartserver::ChartServer> offlineBridge(const fs::path& cache) {
    return bridge(cache, true);
}

// A keep-alive client: one request at a time, the answer read by its Content-Length. Clients
// come from several loopback addresses, as many clients would.
class Client {
public:
    Client(uint16_t port, int source) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 1 + static_cast<uint32_t>(source % 8));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int yes = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
            ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("connect failed");
    }
    ~Client() { ::close(fd_); }

    // The status, or 0 when the answer did not come whole.
    int get(const std::string& path) {
        std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()))
            return 0;
        std::size_t headEnd;
        while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos) {
            if (!fill())
                return 0;
        }
        std::size_t at = buffer_.find("Content-Length: ");
        std::size_t length = at < headEnd ? std::stoul(buffer_.substr(at + 16)) : 0;
        while (buffer_.size() < headEnd + 4 + length) {
            if (!fill())
                return 0;
        }
        int status = std::stoi(buffer_.substr(9, 3));
        buffer_.erase(0, headEnd + 4 + length);
        return status;
    }

private:
    bool fill() {
        char chunk[16384];
        ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
    int fd_;
    std::string buffer_;
};

constexpr int kArtists = 200;

void cacheArtists(const fs::path& file) {
    chartserver::FeedCache cache(file, [](const std::string&) {});
    std::string body = readFile(CHARTLOOM_SOURCE_DIR "/data/demo/feeds/Blur/toptracks.xml");
    for (int i = 0; i < kArtists; ++i)
        cache.store("lastfm", "toptracks", "Artist " + std::to_string(i), {200, body, now()});
}

// Keeps 16 requests for artists that are not cached with an upstream that takes a second to
// answer each, from 16 clients of their own, until destroyed.
class SlowUpstreamLoad {
public:
    explicit SlowUpstreamLoad(uint16_t port) {
        for (int c = 0; c < 16; ++c) {
            clients_.emplace_back([this, port, c] {
                Client client(port, 7);
                for (int n = 0; !stopping_; ++n) {
                    client.get("/1.0/artist/Slow%20" + std::to_string(c) + "-" + std::to_string(n) +
                               "/toptracks.xml");
                }
            });
        }
    }
    ~SlowUpstreamLoad() {
        stopping_ = true;
        for (std::thread& t : clients_)
            t.join();
    }

private:
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> clients_;
};

// Cached answers over `connections` keep-alive connections, `requests` each, measured one by
// one; with `slowUpstream`, while 16 requests wait on a slow upstream.
void BM_CachedAnswers(benchmark::State& state, int connections, int requests, bool slowUpstream) {
    ScratchDir dir;
    cacheArtists(dir.path / "cache.sqlite");
    std::unique_ptr<testing::ScriptedHttpServer> upstream;
    if (slowUpstream) {
        upstream = std::make_unique<testing::ScriptedHttpServer>([](const testing::Request&) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            return testing::Response::text(
                200, R"({"toptracks":{"track":[{"name":"A","listeners":"1"}]}})");
        });
    }
    auto server = bridge(dir.path / "cache.sqlite", !slowUpstream,
                         upstream ? upstream->url("/2.0/") : std::string());
    std::unique_ptr<SlowUpstreamLoad> slow;
    if (slowUpstream) {
        slow = std::make_unique<SlowUpstreamLoad>(server->port());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // all 16 in flight
    }
    std::vector<double> latencies;
    int failures = 0;
    double seconds = 0;
    for (auto _ : state) {
        std::vector<std::vector<double>> perThread(static_cast<std::size_t>(connections));
        std::vector<int> failed(static_cast<std::size_t>(connections), 0);
        std::vector<std::thread> threads;
        auto started = Clock::now();
        for (int t = 0; t < connections; ++t) {
            threads.emplace_back([&, t] {
                Client client(server->port(), t);
                for (int i = 0; i < requests; ++i) {
                    std::string path = "/1.0/artist/Artist%20" +
                                       std::to_string((i * 7 + t) % kArtists) + "/toptracks.xml";
                    auto sent = Clock::now();
                    failed[t] += client.get(path) != 200;
                    perThread[t].push_back(
                        std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        seconds += std::chrono::duration<double>(Clock::now() - started).count();
        for (int t = 0; t < connections; ++t) {
            latencies.insert(latencies.end(), perThread[t].begin(), perThread[t].end());
            failures += failed[t];
        }
    }
    slow.reset();
    std::sort(latencies.begin(), latencies.end());
    auto percentile = [&](double p) {
        return latencies[static_cast<std::size_t>(p * static_cast<double>(latencies.size() - 1))];
    };
    state.counters["p50_us"] = percentile(0.50);
    state.counters["p99_us"] = percentile(0.99);
    state.counters["requests_per_s"] = static_cast<double>(latencies.size()) / seconds;
    state.counters["failures"] = failures;
}
BENCHMARK_CAPTURE(BM_CachedAnswers, 4_connections, 4, 2000, false)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_CachedAnswers, 64_connections, 64, 250, false)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_CachedAnswers, 4_connections_16_slow_upstream, 4, 50, true)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_CachedAnswers, 64_connections_16_slow_upstream, 64, 10, true)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Every feed of the demo folder in the cache under the artist's name; for the similar artists
// of `artist` without feeds, a remembered "not found".
void cacheDemoFeeds(const fs::path& cacheFile, const fs::path& feeds, const std::string& artist) {
    chartserver::FeedCache cache(cacheFile, [](const std::string&) {});
    for (const fs::directory_entry& folder : fs::directory_iterator(feeds)) {
        std::string name = chartserver::artistFromSegment(folder.path().filename().string());
        for (const char* kind : {"toptracks", "similar"}) {
            fs::path file = folder.path() / (std::string(kind) + ".xml");
            if (fs::exists(file))
                cache.store("lastfm", kind, name, {200, readFile(file), now()});
        }
    }
    std::string similar = readFile(feeds / artist / "similar.xml");
    static const std::regex names("<name>([^<]*)</name>");
    for (std::sregex_iterator it(similar.begin(), similar.end(), names), end; it != end; ++it) {
        std::string name = std::regex_replace((*it)[1].str(), std::regex("&amp;"), "&");
        if (!cache.find("lastfm", "toptracks", name))
            cache.store("lastfm", "toptracks", name, {404, "", now()});
    }
}

void BM_WarmSimilarChartsPlaylist(benchmark::State& state) {
    const fs::path demo = CHARTLOOM_SOURCE_DIR "/data/demo";
    ScratchDir dir;
    cacheDemoFeeds(dir.path / "cache.sqlite", demo / "feeds", "Blur");
    auto server = offlineBridge(dir.path / "cache.sqlite");
    ::setenv("http_proxy", server->address().c_str(), 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");

    player::Host host;
    library::loadLibrary(demo / "library.json",
                         [&](const player::TrackRecord& r) { host.addTrack(r); });
    host.loadPlugin(CHARTLOOM_PLUGIN_FILE);
    std::vector<player::Track*> blur;
    for (player::Track* t : host.libraryTracks()) {
        for (const auto& [name, values] : t->fields().meta) {
            if (name == "artist" && !values.empty() && values[0] == "Blur")
                blur.push_back(t);
        }
    }
    g_requests = 0;
    for (auto _ : state) {
        host.runMenuItem("Similar Charts Playlist", blur, player::Host::caller_other);
    }
    state.counters["feeds_per_run"] =
        static_cast<double>(g_requests) / static_cast<double>(state.iterations());
    state.counters["error_boxes"] = static_cast<double>(host.popups().messages().size());
}
BENCHMARK(BM_WarmSimilarChartsPlaylist)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
