#include "cli/follow_command.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <mutex>

#include "cli/chart_source.h"
#include "cli/follow_output.h"
#include "cli/install_paths.h"
#include "cli/interrupts.h"
#include "cli/usage_error.h"
#include "mpd/follow_history.h"
#include "mpd/follow_loop.h"
#include "platform/wininet.h"
#include "toolbase/terminal_text.h"

namespace chartloom::cli {
namespace {

using namespace std::chrono_literals;

// The Internet layer's words on the last chart request that failed. [any thread]
struct RequestFailures {
    std::mutex mutex;
    std::string last;
};
RequestFailures g_failures;

void noteRequestFailure(const char* line) {
    std::lock_guard lock(g_failures.mutex);
    g_failures.last = line;
}

std::string takeRequestFailure() {
    std::lock_guard lock(g_failures.mutex);
    return std::exchange(g_failures.last, {});
}

mpd::FollowMode modeNamed(const std::string& name) {
    if (name == "similar")
        return mpd::FollowMode::similar;
    if (name == "charts")
        return mpd::FollowMode::charts;
    return mpd::FollowMode::shuffle;
}

int exitStatus(mpd::FollowLoop::Outcome outcome) {
    switch (outcome) {
        case mpd::FollowLoop::Outcome::done:
            return 0;
        case mpd::FollowLoop::Outcome::nothingFound:
            return 1;
        case mpd::FollowLoop::Outcome::unreachable:
        case mpd::FollowLoop::Outcome::refused:
            return 2;
        case mpd::FollowLoop::Outcome::stopped:
            break;
    }
    return 130;
}

}  // namespace

CLI::Option* addFollowCommand(CLI::App& app, FollowOptions& o) {
    CLI::App* command = app.add_subcommand(
        "follow", "Keep MPD's queue going with songs like the one playing, without repeats");
    command->fallthrough()->footer(
        "Also: --charts, --match, --api-key and --listenbrainz-token (see chartloom --help),\n"
        "which config.toml may set.");
    // Read after parsing: a bare --mpd has no value to store.
    CLI::Option* mpd = command
                           ->add_option("--mpd",
                                        "MPD's address: HOST, HOST:PORT or a socket path (default: "
                                        "$MPD_HOST, $MPD_PORT, else localhost:6600)")
                           ->type_name("ADDRESS")
                           ->expected(0, 1);
    command->add_option("--mode", o.mode, "What to add: shuffle, similar or charts")
        ->check(CLI::IsMember({"shuffle", "similar", "charts"}))
        ->capture_default_str();
    command->add_option("--ahead", o.ahead, "Top up when fewer songs follow the current one")
        ->check(CLI::Range(1u, 10000u))
        ->capture_default_str();
    command->add_option("--add", o.add, "Songs per top-up, at most")
        ->check(CLI::Range(1u, 1000u))
        ->capture_default_str();
    command
        ->add_option("--history", o.historyHours,
                     "Hours in which a song played or added is not added again (0: off)")
        ->check(CLI::Range(0.0, 24.0 * 365))
        ->capture_default_str();
    command
        ->add_option("--spacing", o.spacing,
                     "Songs before an added one that may not share its artist (0: off)")
        ->check(CLI::Range(0u, 1000u))
        ->capture_default_str();
    command
        ->add_option("--history-file", o.historyFile,
                     "History file (default: ${XDG_STATE_HOME:-$HOME/.local/state}/"
                     "chartloom/history.sqlite)")
        ->type_name("FILE");
    command->add_flag("--once", o.once, "Check once, add if needed, and exit");
    command->add_flag("--dry-run", o.dryRun,
                      "Say what would be added; add nothing, keep no history");
    command->add_flag("--json", o.json, "One JSON object per line on stdout instead of text");
    addLastfmOptions(command, o.lastfm);
    return mpd;
}

int followCommand(const FollowOptions& options, const SharedOptions& shared) {
    Interrupts interrupts;  // before any other thread starts
    // Whatever follow waits on when a signal comes, it ends within a second.
    interrupts.setGrace(900ms);
    InternetSetDiagnostics(noteRequestFailure);
    try {
        mpd::FollowSettings settings;
        settings.address = mpd::resolveMpdAddress(options.mpd);
        settings.mode = modeNamed(options.mode);
        settings.ahead = options.ahead;
        settings.add = options.add;
        settings.historyHours = options.historyHours;
        settings.spacing = options.spacing;
        settings.once = options.once;
        settings.dryRun = options.dryRun;
        settings.lastRequestFailure = takeRequestFailure;
        settings.looseTags = shared.looseMatch;
        LastfmSettings lastfm = options.lastfm;
        lastfm.apiKey = shared.apiKey;
        lastfm.listenbrainzToken = shared.listenbrainzToken;
        lastfm.match = shared.looseMatch ? MatchMode::loose : MatchMode::exact;
        ChartSource charts(shared.charts, lastfm);  // its threads start with signals blocked
        if (std::string notice = looseServiceNotice(charts, lastfm.match); !notice.empty())
            std::fprintf(stderr, "chartloom: %s\n", notice.c_str());
        player::Host host;
        host.loadPlugin(pluginFile());
        std::unique_ptr<mpd::FollowReport> output =
            makeFollowOutput(options.json, options.historyHours);
        std::filesystem::path historyFile = options.historyFile
                                                ? std::filesystem::path(*options.historyFile)
                                                : mpd::FollowHistory::defaultFile();
        if (historyFile.empty() && !options.dryRun) {
            output->error(
                "no state folder (neither XDG_STATE_HOME nor HOME is set; or use "
                "--history-file FILE): the history is kept in memory");
        }
        // A dry run reads the history to leave out what it holds, and writes nothing.
        mpd::FollowHistory history(
            historyFile, [&](const std::string& line) { output->error(line); },
            options.dryRun ? mpd::FollowHistory::Access::readOnly
                           : mpd::FollowHistory::Access::readWrite);
        mpd::FollowLoop loop(host, history, *output, std::move(settings));
        struct StopOnSignal {
            Interrupts& interrupts;
            ~StopOnSignal() { interrupts.setOnSignal(nullptr); }
        } stopOnSignal{interrupts};
        interrupts.setOnSignal([&] { loop.stop(); });
        interrupts.enter(Interrupts::Phase::running);
        return exitStatus(loop.run());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chartloom: %s\n", printable(e.what(), true).c_str());
        return 2;
    }
}

}  // namespace chartloom::cli
