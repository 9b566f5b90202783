#include "cli/serve_command.h"

#include <sys/resource.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <mutex>
#include <optional>

#include "chartserver/chart_server.h"
#include "cli/interrupts.h"
#include "cli/usage_error.h"

namespace chartloom::cli {
using chartserver::ChartServer;
namespace {

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
    Interrupts signals;  // before the server's threads start
    raiseDescriptorLimit();
    std::optional<ChartServer> server;
    try {
        if (!options.feeds && !options.lastfm && !options.listenbrainz)
            throw UsageError(
                "say where the charts come from: --feeds DIR, --lastfm, --listenbrainz, or "
                "several of them");
        chartserver::ChartServerOptions config;
        if (options.feeds)
            config.feeds = *options.feeds;
        if (options.lastfm)
            config.lastfm = resolveLastfm(options.live);
        if (options.listenbrainz)
            config.listenbrainz = resolveListenBrainz(options.live);
        config.bind = options.bind;
        config.port = options.port;
        config.match = options.live.match;
        config.requestLog = writeLine;
        config.report = writeLine;
        server.emplace(std::move(config));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chartloom serve: %s\n", e.what());
        return 2;
    }
    signals.enter(Interrupts::Phase::running);  // from now on a signal stops the service
    std::cout << "listening on " << server->address() << std::endl;
    signals.waitForSignal();
    server->stop();
    return 0;
}

}  // namespace chartloom::cli
