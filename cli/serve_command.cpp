#include "cli/serve_command.h"

#include <pthread.h>

#include <csignal>
#include <exception>
#include <iostream>
#include <optional>

#include "chartserver/chart_server.h"

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

}  // namespace

int serveCommand(const std::string& feeds, const std::string& bind, int port) {
    BlockedStopSignals signals;
    std::optional<ChartServer> server;
    try {
        server.emplace(feeds, bind, port);
    } catch (const std::exception& e) {
        std::cerr << "chartloom serve: " << e.what() << '\n';
        return 2;
    }
    std::cout << "listening on " << server->address() << std::endl;
    signals.wait();
    server->stop();
    return 0;
}

}  // namespace chartloom::cli
