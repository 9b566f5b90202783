#include "cli/chart_causes.h"

#include <algorithm>
#include <set>

namespace chartloom::cli {
namespace {

using chartserver::ChartEvent;
using chartserver::FeedKind;

constexpr std::size_t kMostEvents = 10000;  // a command makes far fewer requests
constexpr int64_t kDay = 24 * 60 * 60;

// A chart the plug-in cannot use: too short, or not readable (no entries then).
bool shortChart(const ChartEvent& e) {
    return e.status == 200 && e.entries < 2;
}

// Which answers a message of the plug-in follows from.
bool fits(const ChartEvent& e, const std::string& message) {
    if (message.find("similar artist listing is empty") != std::string::npos)
        return e.feed == FeedKind::Similar && shortChart(e);
    if (message.find("chart listing is empty") != std::string::npos ||
        message.find("empty page") != std::string::npos)
        return e.feed == FeedKind::TopTracks && shortChart(e);
    if (message.find("could not be found") != std::string::npos)
        return e.status == 404;
    if (message.find("returned an error") != std::string::npos)
        return e.status != 200 && e.status != 404;
    return !e.cause.empty();
}

std::string daysOld(int64_t seconds) {
    int64_t days = std::max<int64_t>(seconds, 0) / kDay;
    if (days == 0)
        return "less than a day old";
    return std::to_string(days) + (days == 1 ? " day old" : " days old");
}

}  // namespace

void ChartCauses::note(const ChartEvent& event) {
    std::lock_guard lock(mutex_);
    if (events_.size() < kMostEvents)
        events_.push_back(event);
}

std::string ChartCauses::causeOf(const std::string& message) const {
    std::lock_guard lock(mutex_);
    for (auto e = events_.rbegin(); e != events_.rend(); ++e) {
        if (fits(*e, message))
            return e->cause;
    }
    return {};
}

std::string ChartCauses::staleNotice(int64_t now) const {
    std::lock_guard lock(mutex_);
    std::set<std::string> artists;
    int64_t oldest = now, newest = 0;
    std::string cause;
    for (const ChartEvent& e : events_) {
        if (!e.stale)
            continue;
        artists.insert(e.artist);
        oldest = std::min(oldest, e.fetchedAt);
        newest = std::max(newest, e.fetchedAt);
        if (cause.empty())
            cause = e.cause;
    }
    if (artists.empty())
        return {};
    std::string age = daysOld(now - oldest);
    if ((now - oldest) / kDay != (now - newest) / kDay)
        age = "up to " + age;
    std::string what = artists.size() == 1
                           ? "the charts of " + *artists.begin() + " are"
                           : "charts for " + std::to_string(artists.size()) + " artists are";
    return what + " from the cache, " + age + (cause.empty() ? "" : ": " + cause);
}

}  // namespace chartloom::cli
