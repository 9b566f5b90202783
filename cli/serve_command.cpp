#include "cli/serve_command.h"

#include <pthread.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <mutex>
#include <optional>

#include "chartserver/chart_server.h"
#include "cli/usage_error.h"

namespace chartloom::cli {
using chartserver::ChartServer;
namespace {

// Blocks SIGINT and SIGTERM in the calling thread for its lifetime, so that threads started
// meanwhile inherit the mask and the signals wait for sigwait() here.
class BlockedStopSignals {
public:
    BlockedStopSignals() {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
    }
    BlockedStopSignals(const BlockedStopSignals&) = delete;
    BlockedStopSignals& operator=(const BlockedStopSignals&) = delete;
    ~BlockedStopSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

    void wait() const {
        int signal = 0;
        sigwait(&signals_, &signal);
    }

private:
    sigset_t signals_{};
    sigset_t previous_{};
};

// Each client holds a descriptor: take all that the hard limit allows.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Whole lines from several threads, never interleaved.
void writeLine(const std::string& line) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

int serveCommand(const ServeOptions& options) {
    BlockedStopSignals signals;
    raiseDescriptorLimit();
    std::optional<ChartServer> server;
    try {
        if (!options.feeds && !options.lastfm)
            throw UsageError("say where the charts come from: --feeds DIR, --lastfm, or both");
        chartserver::ChartServerOptions config;
        if (options.feeds)
            config.feeds = *options.feeds;
        if (options.lastfm)
            config.lastfm = resolveLastfm(options.live);
        config.bind = options.bind;
        config.port = options.port;
        config.requestLog = writeLine;
        config.report = writeLine;
        server.emplace(std::move(config));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chartloom serve: %s\n", e.what());
        return 2;
    }
    std::cout << "listening on " << server->address() << std::endl;
    signals.wait();
    server->stop();
    return 0;
}

}  // namespace chartloom::cli
