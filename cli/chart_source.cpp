#include "cli/chart_source.h"

#include <algorithm>
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

// The items of a source list; a folder whose name holds a comma is one item.
std::vector<std::string> sourceList(const std::string& charts) {
    std::error_code error;
    if (charts.find(',') == std::string::npos || std::filesystem::is_directory(charts, error))
        return {charts};
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = charts.find(',', start);
        items.push_back(charts.substr(start, comma - start));
        if (comma == std::string::npos)
            return items;
        start = comma + 1;
    }
}

chartserver::SourceOptions sourceOf(const std::string& item, const LastfmSettings& settings) {
    if (item == "lastfm")
        return resolveLastfm(settings);
    if (item == "listenbrainz")
        return resolveListenBrainz(settings);
    if (isServiceAddress(item))
        return chartserver::RemoteService{item, chartserver::UpstreamProxy::fromEnvironment()};
    std::error_code error;
    if (!item.empty() && std::filesystem::is_directory(item, error))
        return chartserver::FeedsFolder{item};
    throw UsageError("\"" + item +
                     "\" is not \"lastfm\", \"listenbrainz\", a feeds folder or "
                     "http://HOST:PORT/");
}

}  // namespace

ChartSource::ChartSource(const std::optional<std::string>& charts, const LastfmSettings& settings) {
    if (!charts)
        return;
    std::vector<std::string> items = sourceList(*charts);
    if (items.size() == 1 && isServiceAddress(items.front())) {
        routeTo(charts->back() == '/' ? *charts : *charts + "/");
        return;
    }
    chartserver::ChartServerOptions options;
    options.report = reportToStderr;
    options.observe = [causes = causes_](const chartserver::ChartEvent& e) { causes->note(e); };
    // The plug-in's requests come one at a time.
    options.limits.threads = 1;
    options.upstreamWorkers = 2;
    options.match = settings.match;
    try {
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (std::find(items.begin(), items.begin() + static_cast<long>(i), items[i]) !=
                items.begin() + static_cast<long>(i))
                throw UsageError("\"" + items[i] + "\" is named twice");
            // Taken before routeTo() points http_proxy at the service itself.
            options.sources.push_back(sourceOf(items[i], settings));
        }
        server_ = std::make_unique<chartserver::ChartServer>(std::move(options));
    } catch (const std::runtime_error& e) {
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

std::string looseServiceNotice(const ChartSource& charts, MatchMode match) {
    if (match != MatchMode::loose || charts.servesHere())
        return "";
    std::string where = charts.address().empty() ? "http://127.0.0.1:7380/" : charts.address();
    return "--match loose: the chart service (" + where +
           ") must run with --match loose too (chartloom serve --match loose); or use --charts "
           "lastfm, listenbrainz or a feeds folder, which run inside this command";
}

}  // namespace chartloom::cli
