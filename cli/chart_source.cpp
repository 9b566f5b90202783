#include "cli/chart_source.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "cli/usage_error.h"

namespace chartloom::cli {
namespace {

bool isServiceAddress(const std::string& text) {
    return text.rfind("http://", 0) == 0;
}

void reportToStderr(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

ChartSource::ChartSource(const std::optional<std::string>& charts, const LastfmSettings& lastfm) {
    if (!charts)
        return;
    if (isServiceAddress(*charts)) {
        routeTo(charts->back() == '/' ? *charts : *charts + "/");
        return;
    }
    chartserver::ChartServerOptions options;
    options.report = reportToStderr;
    // The plug-in's requests come one at a time.
    options.limits.threads = 1;
    options.upstreamWorkers = 2;
    try {
        if (*charts == "lastfm") {
            // Taken before routeTo() points http_proxy at the bridge itself.
            options.lastfm = resolveLastfm(lastfm);
        } else if (std::filesystem::is_directory(*charts)) {
            options.feeds = *charts;
        } else {
            throw UsageError("--charts " + *charts +
                             ": not \"lastfm\", a feeds folder or http://HOST:PORT/");
        }
        server_ = std::make_unique<chartserver::ChartServer>(std::move(options));
    } catch (const std::runtime_error& e) {
        if (dynamic_cast<const UsageError*>(&e))
            throw;
        throw UsageError("--charts " + *charts + ": " + e.what());
    }
    routeTo(server_->address());
}

ChartSource::~ChartSource() {
    for (const SavedVariable& v : saved_) {
        if (v.value)
            ::setenv(v.name.c_str(), v.value->c_str(), 1);
        else
            ::unsetenv(v.name.c_str());
    }
    server_.reset();
}

void ChartSource::routeTo(const std::string& proxy) {
    address_ = proxy;
    for (const char* name : {"http_proxy", "no_proxy", "NO_PROXY"}) {
        const char* value = std::getenv(name);
        saved_.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
    }
    ::setenv("http_proxy", proxy.c_str(), 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
}

}  // namespace chartloom::cli
