// Where a command sends the plug-in for its charts: chart sources asked in turn inside the
// process (the Last.fm bridge, the ListenBrainz bridge, a feeds folder, another chart
// service), or one running chart service. The plug-in is not changed: its Internet layer
// takes http_proxy, which this sets for the process alone and restores on destruction.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chartserver/chart_server.h"
#include "cli/chart_causes.h"
#include "cli/chart_options.h"

namespace chartloom::cli {

class ChartSource {
public:
    // `charts`: "lastfm", "listenbrainz", a feeds folder, "http://HOST:PORT/", or a list of
    // them separated by commas ("lastfm,listenbrainz"), asked in that order; none leaves the
    // plug-in on its own address. Raises UsageError for a source that cannot be used.
    ChartSource(const std::optional<std::string>& charts, const LastfmSettings& settings);
    ChartSource(const ChartSource&) = delete;
    ChartSource& operator=(const ChartSource&) = delete;
    ~ChartSource();

    // The chart service's base address the plug-in's requests go to ("" without a source).
    const std::string& address() const { return address_; }
    // What the sources saw, when they answer inside this process; null otherwise.
    const ChartCauses* causes() const { return server_ ? causes_.get() : nullptr; }
    // Whether the chart service runs inside this process.
    bool servesHere() const { return server_ != nullptr; }

private:
    void routeTo(const std::string& proxy);

    std::shared_ptr<ChartCauses> causes_ = std::make_shared<ChartCauses>();
    std::unique_ptr<chartserver::ChartServer> server_;
    struct SavedVariable {
        std::string name;
        std::optional<std::string> value;
    };
    std::vector<SavedVariable> saved_;
    std::string address_;
};

// Under loose matching with a chart service run elsewhere, what the user must see to: that
// service serves loose charts only when it runs with --match loose. Empty otherwise.
std::string looseServiceNotice(const ChartSource& charts, MatchMode match);

}  // namespace chartloom::cli
