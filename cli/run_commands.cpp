#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    if (session.selection().empty()) {
        std::string text = "nothing is selected";
        for (const auto& rule : session.unmatchedRules())
            text += ": " + rule;
        if (session.unmatchedRules().empty())
            text += ": pick tracks with --select (all, artist=NAME, path=PATH or pos=N)";
        throw UsageError(text);
    }
    if (session.caller() != player::Host::caller_playlist) {
        throw UsageError("\"" + entry->name +
                         "\" works on a playlist's items: name the playlist with --active NAME "
                         "(and its folder with --playlists)");
    }
    throw UsageError("\"" + entry->name + "\" is not in the menu for this selection");
}

// Bad usage and input that cannot be read are exit 2; anything else that went wrong is 1.
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
        auto menu = session.menu();
        std::cout << (options.json ? jsonReport(session.host(), &menu) : menuText(menu));
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
        if (!interrupts.interrupted()) {
            outcome = session.writeBack();
            plays = session.play();
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
                                   : runSummaryText(host, changed, plays));
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
