// Where `run` sends the plug-in for its charts: the in-process Last.fm bridge, a feeds folder
// served in-process, or a running chart service. The plug-in is not changed: its Internet
// layer takes http_proxy, which this sets for the process alone and restores on destruction.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "chartserver/chart_server.h"
#include "cli/chart_options.h"

namespace chartloom::cli {

class ChartSource {
public:
    // `charts`: "lastfm", a folder, or "http://HOST:PORT/"; none leaves the plug-in on its own
    // address. Raises UsageError for a source that cannot be used.
    ChartSource(const std::optional<std::string>& charts, const LastfmSettings& lastfm);
    ChartSource(const ChartSource&) = delete;
    ChartSource& operator=(const ChartSource&) = delete;
    ~ChartSource();

    // The chart service's base address the plug-in's requests go to ("" without a source).
    const std::string& address() const { return address_; }

private:
    void routeTo(const std::string& proxy);

    std::unique_ptr<chartserver::ChartServer> server_;
    struct SavedVariable {
        std::string name;
        std::optional<std::string> value;
    };
    std::vector<SavedVariable> saved_;
    std::string address_;
};

}  // namespace chartloom::cli
