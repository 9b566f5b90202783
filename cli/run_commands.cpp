#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <mutex>
#include <vector>

#include "chartserver/upstream_fetch.h"
#include "chartserver/upstream_proxy.h"
#include "cli/chart_source.h"
#include "cli/commands.h"
#include "cli/interrupts.h"
#include "cli/progress_bar.h"
#include "cli/report.h"
#include "cli/scan_display.h"
#include "cli/suggestion.h"
#include "cli/task_display.h"
#include "cli/usage_error.h"
#include "host/shared_functions.h"
#include "library/folder_scan.h"
#include "library/library_json.h"
#include "library/library_loader.h"
#include "platform/wininet.h"
#include "toolbase/store_error.h"
#include "toolbase/terminal_text.h"

namespace chartloom::cli {
using namespace library;
using namespace playlists;
using namespace mpd;
namespace {

constexpr const char* kNoConnection = "Couldn't connect to Last.fm server.";

// What the Internet layer said about failed requests, each naming the address the request
// really went to; printed as it comes with --verbose.
struct Diagnostics {
    std::mutex mutex;
    std::vector<std::string> lines;
    bool echo = false;
    chartserver::UpstreamProxy proxy;  // as the plug-in's Internet layer finds it
};
Diagnostics g_diagnostics;

// A proxy's address as "http://HOST:PORT/", without the credentials it may hold.
std::string proxyOrigin(std::string proxy) {
    if (proxy.find("://") == std::string::npos)
        proxy = "http://" + proxy;
    size_t hostStart = proxy.find("://") + 3;
    size_t end = proxy.find('/', hostStart);
    std::string authority = proxy.substr(hostStart, end - hostStart);
    if (size_t at = authority.rfind('@'); at != std::string::npos)
        authority.erase(0, at + 1);
    return proxy.substr(0, hostStart) + authority + "/";
}

// The parts of a diagnostic line "GET http://host:port/path: cause".
struct RequestLine {
    std::string origin;  // "http://host:port/"
    std::string rest;    // "path: cause"
    bool valid = false;
};

RequestLine splitLine(const std::string& line) {
    size_t urlStart = line.find(' ');
    size_t scheme = line.find("://", urlStart);
    if (urlStart == std::string::npos || scheme == std::string::npos)
        return {};
    size_t pathStart = line.find('/', scheme + 3);
    if (pathStart == std::string::npos)
        return {};
    return {line.substr(urlStart + 1, pathStart + 1 - urlStart - 1), line.substr(pathStart + 1),
            true};
}

// `line` with the URL's origin replaced by the proxy's when the request went there.
std::string withRealAddress(const std::string& line, const chartserver::UpstreamProxy& proxy) {
    RequestLine parts = splitLine(line);
    if (!parts.valid || !proxy.http || proxy.bypasses(chartserver::hostOf(parts.origin)))
        return line;
    return line.substr(0, line.find(' ') + 1) + proxyOrigin(*proxy.http) + parts.rest;
}

void noteDiagnostic(const char* line) {
    std::lock_guard lock(g_diagnostics.mutex);
    g_diagnostics.lines.push_back(withRealAddress(line, g_diagnostics.proxy));
    if (g_diagnostics.echo)
        std::fprintf(stderr, "chartloom: %s\n", printable(g_diagnostics.lines.back()).c_str());
}

// When a request found no chart service at all: where the plug-in looked, and what to do.
void explainConnectionFailure(const player::Host& host) {
    bool noConnection = false;
    for (const auto& m : host.popups().messages())
        noConnection = noConnection || m.text == kNoConnection;
    std::lock_guard lock(g_diagnostics.mutex);
    if (!noConnection || g_diagnostics.lines.empty())
        return;
    RequestLine parts = splitLine(g_diagnostics.lines.front());
    size_t causeStart = parts.rest.find(": ");
    std::string cause = causeStart == std::string::npos ? "" : parts.rest.substr(causeStart + 2);
    std::fprintf(stderr,
                 "chartloom: no chart service answered at %s: %s. Start one with \"chartloom "
                 "serve --feeds DIR\" or \"chartloom serve --lastfm\", or let run bring its own "
                 "with --charts lastfm, --charts listenbrainz, --charts DIR or --charts "
                 "http://HOST:PORT/\n",
                 printable(parts.origin).c_str(), printable(cause).c_str());
}

// The cause behind the plug-in's last message, as the chart source saw it: the sources in
// this process say it themselves; of a chart service elsewhere, the Internet layer knows the
// status or the failure. Empty when there is no message or nothing to add.
std::string causeOfMessage(const player::Host& host, const ChartSource& charts) {
    std::vector<player::PopupMessage> messages = host.popups().messages();
    if (messages.empty())
        return "";
    if (const ChartCauses* causes = charts.causes())
        return causes->causeOf(messages.back().text);
    if (messages.back().text == kNoConnection)
        return "";  // explainConnectionFailure says where nothing answered
    std::lock_guard lock(g_diagnostics.mutex);
    if (g_diagnostics.lines.empty())
        return "";
    RequestLine parts = splitLine(g_diagnostics.lines.back());
    size_t causeStart = parts.rest.find(": ");
    if (!parts.valid || causeStart == std::string::npos)
        return "";
    std::string cause = parts.rest.substr(causeStart + 2);
    std::string at = "the chart service at " + parts.origin;
    return cause.starts_with("HTTP ") ? at + " answered " + cause : at + ": " + cause;
}

// A UsageError when nothing is selected, naming the rules that picked nothing.
void requireSelection(const Session& session) {
    if (!session.selection().empty())
        return;
    std::string text = "nothing is selected";
    for (const auto& rule : session.unmatchedRules())
        text += ": " + rule;
    if (session.unmatchedRules().empty())
        text += ": pick tracks with --select (all, artist=NAME, path=PATH or pos=N)";
    throw UsageError(text);
}

// The menu item `wanted` names (letter case aside), or a UsageError that says why it cannot
// run: no such item, nothing selected, or no playlist view for the sort.
std::string itemToRun(Session& session, const std::string& wanted) {
    std::vector<player::MenuEntry> menu = session.menu();
    auto entry = std::find_if(menu.begin(), menu.end(), [&](const player::MenuEntry& e) {
        return stricmp_utf8(e.name.c_str(), wanted.c_str()) == 0;
    });
    if (entry == menu.end()) {
        std::vector<std::string> names;
        std::string list;
        for (const auto& e : menu) {
            names.push_back(e.name);
            list += (list.empty() ? "\"" : ", \"") + e.name + "\"";
        }
        std::string text = "\"" + wanted + "\" is not a menu item; the items are " + list;
        if (auto near = nearest(wanted, names))
            text += ". Did you mean \"" + *near + "\"?";
        throw UsageError(text);
    }
    if (entry->shown)
        return entry->name;
    requireSelection(session);
    throw UsageError("\"" + entry->name + "\" " +
                     whyHidden(*entry, session.caller() == player::Host::caller_playlist));
}

// Bad usage and input that cannot be read are exit 2; anything else that went wrong is 1.
// Keeps what a run replaced for `chartloom undo`; a run that could not keep it still ran.
void keepForUndo(const std::string& command, std::vector<UndoItem> done) {
    if (done.empty())
        return;
    UndoRecord record;
    record.time = static_cast<int64_t>(std::time(nullptr));
    record.command = command;
    record.items = std::move(done);
    try {
        UndoLog().add(record);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chartloom: %s; this change cannot be undone\n",
                     printable(e.what()).c_str());
    }
}

// The last line of a run's summary: what happened to playback.
std::string playbackLine(const Session& session, const SessionPlan& plan, bool plays,
                         const SessionOptions& options) {
    const player::Host& host = session.host();
    if (host.playback().starts == 0)
        return "";
    const auto& all = host.playlists().all();
    size_t p = host.playback().playlist;
    std::string name = p < all.size() ? printable(all[p].name) : "the playlist";
    if (!session.usesMpd())
        return name + " would play now (this player has no audio output)";
    if (options.dryRun)
        return "";
    std::string where = " on MPD at " + session.mpdAddress();
    if (options.noPlay || !plan.plays)
        return "stored" + where + "; playback left alone (--no-play)";
    if (plan.appends)
        return plays
                   ? "added " + name + " to the end of the queue" + where + "; playback left alone"
                   : "nothing added to the queue" + where;
    return plays ? "playing " + name + where : "not played" + where + " (left alone)";
}

// Why a run that showed no error changed nothing, as far as the host can tell.
std::string whyNothingChanged(const Session& session, const std::string& item) {
    bool anyArtist = false;
    for (const player::Track* t : session.selection()) {
        for (const player::MetaField& field : t->meta())
            anyArtist = anyArtist || (std::string_view(field.name) == "artist" && field.count > 0);
    }
    if (!anyArtist)
        return "none of the selected tracks has an artist tag";
    if (stricmp_utf8(item.c_str(), "Sort by Artist Charts") == 0)
        return "the selected items of the artist are already in the chart's order";
    return "the plug-in found nothing to change";
}

template <class F>
int guarded(F&& body) {
    try {
        return body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chartloom: %s\n", printable(e.what(), true).c_str());
        bool input = dynamic_cast<const UsageError*>(&e) ||
                     dynamic_cast<const player::PluginError*>(&e) ||
                     dynamic_cast<const StoreError*>(&e);
        return input ? 2 : 1;
    }
}

}  // namespace

int menuCommand(const SessionOptions& options) {
    return guarded([&] {
        Session session(options, Session::Access::readOnly);
        requireSelection(session);
        auto menu = session.menu();
        if (options.json) {
            std::cout << jsonReport(session.host(), &menu);
            return 0;
        }
        std::string where = session.caller() == player::Host::caller_playlist
                                ? " (from the playlist \"" + *options.active + "\")"
                                : "";
        std::cout << printable(selectionSummary(session.selection()) + where) << "\n"
                  << menuText(menu, session.caller() == player::Host::caller_playlist);
        return 0;
    });
}

int runCommand(const std::string& item, const SessionOptions& options) {
    Interrupts interrupts;  // before any other thread starts
    g_diagnostics.echo = options.verbose;
    InternetSetDiagnostics(noteDiagnostic);
    return guarded([&] {
        ChartSource charts(options.charts, options.lastfm);  // its threads start masked too
        if (std::string notice = looseServiceNotice(charts, options.match); !notice.empty())
            std::fprintf(stderr, "chartloom: %s\n", notice.c_str());
        {
            std::lock_guard lock(g_diagnostics.mutex);
            g_diagnostics.proxy = chartserver::UpstreamProxy::fromEnvironment();
        }
        Session session(options, Session::Access::readWrite);
        player::Host& host = session.host();
        TaskDisplay display(stderr);
        host.taskRunner().setObserver([&](const player::TaskEvent& e) { display.onEvent(e); });
        interrupts.setRunner(&host.taskRunner());
        interrupts.enter(Interrupts::Phase::running);
        std::vector<std::string> before = playlistContents(host);
        bool ran = session.run(itemToRun(session, item));
        interrupts.setRunner(nullptr);
        host.taskRunner().setObserver(nullptr);
        if (!ran)
            throw UsageError("\"" + item + "\" is not in the menu for this selection");
        // An interrupted run writes nothing: what it made may be incomplete.
        interrupts.enter(Interrupts::Phase::writing);
        WriteOutcome outcome;
        bool plays = false;
        SessionPlan plan;
        if (!interrupts.interrupted()) {
            plan = session.plan();
            if (options.dryRun) {
                std::cerr << session.describe(plan);
            } else {
                std::vector<UndoItem> done;
                outcome = session.writeBack(plan, done);
                plays = session.play(plan, done);
                keepForUndo("run \"" + item + "\"", std::move(done));
            }
        }
        for (const auto& name : outcome.written)
            std::fprintf(stderr, "wrote playlist %s\n", printable(name).c_str());
        for (const auto& conflict : outcome.conflicts)
            std::fprintf(stderr, "chartloom: %s\n", printable(conflict).c_str());
        std::vector<std::string> after = playlistContents(host);
        std::vector<size_t> changed;
        for (size_t i = 0; i < after.size(); ++i) {
            if (std::find(before.begin(), before.end(), after[i]) == before.end())
                changed.push_back(i);
        }
        std::string cause = interrupts.interrupted() ? "" : causeOfMessage(host, charts);
        std::cout << (options.json
                          ? jsonReport(host, nullptr, cause)
                          : runSummaryText(host, changed,
                                           playbackLine(session, plan, plays, options), cause));
        if (!interrupts.interrupted() && !options.dryRun) {
            if (changed.empty() && host.popups().messages().empty())
                std::fprintf(stderr, "chartloom: nothing was changed: %s\n",
                             whyNothingChanged(session, item).c_str());
            else if (!changed.empty() && !session.usesMpd() && !options.playlists)
                std::fprintf(stderr, "chartloom: not saved: give --playlists DIR or --mpd\n");
        }
        if (!interrupts.interrupted()) {
            explainConnectionFailure(host);
            if (const ChartCauses* causes = charts.causes()) {
                std::string notice = causes->staleNotice(static_cast<int64_t>(std::time(nullptr)));
                if (!notice.empty())
                    std::fprintf(stderr, "chartloom: %s\n", printable(notice).c_str());
            }
        }
        if (interrupts.interrupted())
            return 130;
        return host.popups().messages().empty() && outcome.conflicts.empty() ? 0 : 1;
    });
}

int scanCommand(const std::string& folder, const std::optional<std::string>& index) {
    // A signal ends the scan at once with 130: the index is written in transactions, so what
    // is committed stays usable and the next scan goes on from there.
    Interrupts interrupts;
    return guarded([&] {
        ScanCounts counts;
        {
            ScanDisplay display(stderr);
            if (index) {
                counts = refreshIndexFile(*index, folder, display.observer(), false);
            } else {
                // Written as it is made, so a big library never sits whole in memory.
                std::string out;
                std::error_code ec;
                LibraryJsonWriter writer(out,
                                         std::filesystem::weakly_canonical(folder, ec).string());
                counts = scanFolder(
                    folder,
                    [&](const player::TrackRecord& r) {
                        writer.add(r);
                        if (out.size() > (1u << 20)) {
                            std::cout << out;
                            out.clear();
                        }
                    },
                    display.observer());
                writer.finish();
                std::cout << out << "\n" << std::flush;
            }
        }
        std::fprintf(stderr, "%s\n", summaryLine(counts).c_str());
        return 0;
    });
}

}  // namespace chartloom::cli
