#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <mutex>
#include <vector>

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

// What the Internet layer said about failed requests; printed as it comes with --verbose.
struct Diagnostics {
    std::mutex mutex;
    std::vector<std::string> lines;
    bool echo = false;
};
Diagnostics g_diagnostics;

void noteDiagnostic(const char* line) {
    std::lock_guard lock(g_diagnostics.mutex);
    g_diagnostics.lines.emplace_back(line);
    if (g_diagnostics.echo)
        std::fprintf(stderr, "chartloom: %s\n", printable(line).c_str());
}

// When a request found no chart service at all: where the plug-in looked, and what to do.
void explainConnectionFailure(const player::Host& host) {
    bool noConnection = false;
    for (const auto& m : host.popups().messages())
        noConnection = noConnection || m.text == "Couldn't connect to Last.fm server.";
    std::lock_guard lock(g_diagnostics.mutex);
    if (!noConnection || g_diagnostics.lines.empty())
        return;
    // "GET http://host:port/path: cause"
    const std::string& line = g_diagnostics.lines.front();
    size_t urlStart = line.find(' ') + 1;
    size_t pathStart = line.find('/', line.find("//", urlStart) + 2);
    size_t causeStart = line.find(": ", pathStart);
    std::string origin = line.substr(urlStart, pathStart + 1 - urlStart);
    std::string cause = causeStart == std::string::npos ? "" : line.substr(causeStart + 2);
    const char* proxy = std::getenv("http_proxy");
    std::string via = proxy && *proxy ? std::string(" (through the proxy ") + proxy + ")" : "";
    std::fprintf(stderr,
                 "chartloom: no chart service answered at %s%s: %s. Start one with \"chartloom "
                 "serve --feeds DIR\" or \"chartloom serve --lastfm\", or let run bring its own "
                 "with --charts lastfm, --charts DIR or --charts http://HOST:PORT/\n",
                 printable(origin).c_str(), printable(via).c_str(), printable(cause).c_str());
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
        std::cout << (options.json ? jsonReport(host, nullptr)
                                   : runSummaryText(host, changed,
                                                    playbackLine(session, plan, plays, options)));
        if (!interrupts.interrupted() && !options.dryRun) {
            if (changed.empty() && host.popups().messages().empty())
                std::fprintf(stderr, "chartloom: nothing was changed: %s\n",
                             whyNothingChanged(session, item).c_str());
            else if (!changed.empty() && !session.usesMpd() && !options.playlists)
                std::fprintf(stderr, "chartloom: not saved: give --playlists DIR or --mpd\n");
        }
        if (!interrupts.interrupted())
            explainConnectionFailure(host);
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
