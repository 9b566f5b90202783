// `chartloom follow` against a real MPD at 20,000 and 100,000 songs (mpd_music.h's), with every
// chart answered from a feeds folder by the in-process chart service: each artist is similar to
// the 20 after it, and its chart is its 20 songs.
//
// One iteration is one top-up. MPD is paused on the queue's second song, two songs after it;
// the benchmark makes the next song current (`seek`, which stays paused), and MPD's `player`
// event starts follow's round. The time runs from just before the seek is sent until MPD
// announces the queue's change to a second connection waiting in idle, and the queue is longer:
// the `add` has reached MPD. Then two songs go from the end and one from the start, so that every
// round sees a queue of the same length, and the next iteration starts.
//
// Counters: median_ms and p90_ms of those times; rss_MiB_10 and rss_MiB_100, follow's resident
// memory after the 10th and the 100th top-up; idle_cpu_percent and idle_wakeups, follow's CPU
// time and its threads' context switches over 10 s of waiting in idle afterwards (from 6 s
// after the last top-up, once the chart service has closed its idle connections).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "mpd_music.h"
#include "tests/support/child_process.h"
#include "tests/support/mpd_daemon.h"
#include "tests/support/scratch_dir.h"
#include "toolbase/unique_fd.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using chartloom::UniqueFd;
using chartloom::bench::kSongsPerArtist;
using chartloom::bench::mpdDataDir;
using chartloom::bench::mpdSongUri;
using chartloom::testing::ChildProcess;
using chartloom::testing::MpdDaemon;
using Clock = std::chrono::steady_clock;

constexpr size_t kSimilar = 20;

// feeds/<artist>/similar.xml and toptracks.xml for every artist of the set, made once.
fs::path prepareFeeds(size_t songs) {
    fs::path feeds = mpdDataDir(songs) / "feeds";
    if (fs::exists(feeds / "complete"))
        return feeds;
    size_t artists = songs / kSongsPerArtist;
    for (size_t a = 0; a < artists; ++a) {
        fs::path dir = feeds / ("Artist " + std::to_string(a));
        fs::create_directories(dir);
        std::ofstream similar(dir / "similar.xml");
        similar << "<similarartists artist=\"Artist " << a << "\">";
        for (size_t k = 1; k <= kSimilar; ++k) {
            similar << "<artist><name>Artist " << (a + k) % artists << "</name><match>"
                    << 100 - 4 * k << "</match></artist>";
        }
        similar << "</similarartists>";
        std::ofstream top(dir / "toptracks.xml");
        top << "<mostknowntracks artist=\"Artist " << a << "\">";
        for (size_t s = 0; s < kSongsPerArtist; ++s) {
            top << "<track><name>Song " << a * kSongsPerArtist + s << "</name><reach>"
                << 100000 - 1000 * s << "</reach></track>";
        }
        top << "</mostknowntracks>";
    }
    std::ofstream(feeds / "complete") << "ok\n";
    return feeds;
}

// A connection of its own that waits in MPD's idle until the queue grows.
class QueueWatch {
public:
    explicit QueueWatch(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("cannot connect to MPD");
        readAnswer();  // the greeting
    }
    unsigned long length() {
        send("status\n");
        std::string status = readAnswer();
        size_t at = status.find("playlistlength: ");
        return at == std::string::npos ? 0 : std::stoul(status.substr(at + 16));
    }
    // Blocks until the queue holds more than `length` songs. A change that came while the
    // connection was not waiting ends the next idle at once: the length is looked at again.
    void waitForMoreThan(unsigned long length) {
        while (this->length() <= length) {
            send("idle playlist\n");
            readAnswer();
        }
    }

private:
    void send(const std::string& text) {
        if (::send(fd_.get(), text.data(), text.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(text.size()))
            throw std::runtime_error("cannot send to MPD");
    }
    // Up to the line that starts with OK (the greeting is one such line).
    std::string readAnswer() {
        for (;;) {
            size_t end = buffer_.starts_with("OK") ? 0 : buffer_.find("\nOK");
            if (end != std::string::npos) {
                size_t lineEnd = buffer_.find('\n', end + (end == 0 ? 0 : 1));
                if (lineEnd != std::string::npos) {
                    std::string answer = buffer_.substr(0, lineEnd + 1);
                    buffer_.erase(0, lineEnd + 1);
                    return answer;
                }
            }
            char chunk[4096];
            ssize_t n = ::recv(fd_.get(), chunk, sizeof chunk, 0);
            if (n <= 0)
                throw std::runtime_error("MPD closed the connection");
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }
    UniqueFd fd_;
    std::string buffer_;
};

double residentMiB(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:"))
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

// User and system CPU seconds of the process so far.
double cpuSeconds(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i)
        fields >> skip;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Context switches of all the process's threads so far: each is a wake-up.
long contextSwitches(int pid) {
    long total = 0;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.find("ctxt_switches:") != std::string::npos)
                total += std::stol(line.substr(line.find(':') + 1));
        }
    }
    return total;
}

// Reads follow's JSON lines until one holds `text`.
void awaitLine(ChildProcess& follow, const std::string& text) {
    auto deadline = Clock::now() + 120s;
    while (Clock::now() < deadline) {
        auto line = follow.readLine(10s);
        if (!line)
            break;
        if (line->find(text) != std::string::npos)
            return;
    }
    throw std::runtime_error("follow did not say " + text);
}

void BM_FollowTopUp(benchmark::State& state) {
    auto songs = static_cast<size_t>(state.range(0));
    chartloom::bench::prepareMpdMusic(songs);
    fs::path feeds = prepareFeeds(songs);
    fs::path dir = mpdDataDir(songs);
    MpdDaemon mpd(dir / "music", {{}, dir / "home"});
    mpd.command("clear");
    mpd.command("random 0");
    // Four songs of the first artist: the second current, two follow it.
    for (size_t s = 0; s < 4; ++s)
        mpd.command("add " + MpdDaemon::quote(mpdSongUri(s)));
    mpd.command("play 1");
    mpd.command("pause 1");
    // A tenth of a second may have taken playback further: back to the second song, paused.
    mpd.command("seek 1 0");
    chartloom::testing::ScratchDir scratch;
    ChildProcess follow(
        {CHARTLOOM_BIN, "follow", "--mpd", mpd.address(), "--charts", feeds.string(),
         "--history-file", (scratch.path() / "h.sqlite").string(), "--json"},
        {{"http_proxy", ""}, {"MPD_HOST", ""}, {"MPD_PORT", ""}});
    awaitLine(follow, "\"waiting\"");
    QueueWatch watch(mpd.port());
    std::vector<double> times;
    double rss10 = 0, rss100 = 0;
    for (auto _ : state) {
        unsigned long before = watch.length();
        auto start = Clock::now();
        mpd.command("seek 2 0");
        watch.waitForMoreThan(before);
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        times.push_back(seconds);
        awaitLine(follow, "\"added\"");
        if (times.size() == 10)
            rss10 = residentMiB(follow.pid());
        if (times.size() == 100)
            rss100 = residentMiB(follow.pid());
        // Back to four songs, the second current: no top-up.
        mpd.command("delete 5:" + mpd.values("status", "playlistlength").at(0));
        mpd.command("delete 0");
    }
    std::this_thread::sleep_for(6s);
    double cpuBefore = cpuSeconds(follow.pid());
    long switchesBefore = contextSwitches(follow.pid());
    std::this_thread::sleep_for(10s);
    double idleCpu = (cpuSeconds(follow.pid()) - cpuBefore) / 10.0;
    state.counters["idle_wakeups"] =
        static_cast<double>(contextSwitches(follow.pid()) - switchesBefore);
    std::sort(times.begin(), times.end());
    state.counters["median_ms"] = 1000 * times[times.size() / 2];
    state.counters["p90_ms"] = 1000 * times[times.size() * 9 / 10];
    state.counters["rss_MiB_10"] = rss10;
    state.counters["rss_MiB_100"] = rss100;
    state.counters["idle_cpu_percent"] = 100 * idleCpu;
}

}  // namespace

BENCHMARK(BM_FollowTopUp)
    ->Arg(20'000)
    ->Arg(100'000)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
