// The `chartloom` command line: the reference host as a tool.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/config_file.h"
#include "cli/follow_command.h"
#include "cli/install_paths.h"
#include "cli/serve_command.h"
#include "cli/suggestion.h"

namespace {

const char* const kSharedFooter =
    "Also: --library, --playlists, --charts and --api-key (see chartloom --help), which\n"
    "config.toml may set for every command.";

// Whether the command line itself (not the configuration file) names `option`.
bool onCommandLine(int argc, char** argv, std::string_view option) {
    return std::any_of(argv + 1, argv + argc, [&](const char* a) {
        std::string_view arg = a;
        return arg == option || (arg.starts_with(option) && arg[option.size()] == '=');
    });
}

CLI::Option* addSessionOptions(CLI::App* command, chartloom::cli::SessionOptions& o) {
    command->fallthrough()->footer(kSharedFooter);
    command->add_option("--active", o.active, "Open the menu on this playlist's view");
    // One value per use, so that a menu item's name after it is not taken for a second rule.
    command->add_option("--select", o.select, "all, artist=NAME, path=PATH or pos=N (repeatable)")
        ->type_size(1)
        ->allow_extra_args(false);
    command->add_flag("--json", o.json, "Print one JSON document");
    command->add_flag("--verbose", o.verbose, "Say why each failed request failed, on stderr");
    // Read after parsing: a bare --mpd has no value to store.
    return command
        ->add_option("--mpd",
                     "A running MPD as library and playlists: HOST, HOST:PORT or a socket "
                     "path (default: $MPD_HOST, $MPD_PORT, else localhost:6600)")
        ->expected(0, 1);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"chartloom: playlists from an artist's charts, on your own music library"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "chartloom " CHARTLOOM_VERSION);

    // Options every command may use, which the configuration file may also set.
    chartloom::cli::SharedOptions shared;
    const std::string configFile = chartloom::cli::defaultConfigFile();
    CLI::Option* config =
        app.set_config("--config", configFile, "Read option defaults from this TOML file");
    app.allow_config_extras(CLI::config_extras_mode::error);  // a misspelt key is an error
    app.add_option("--library", shared.library, "Music folder, library index or library JSON file");
    app.add_option("--playlists", shared.playlists, "Playlist folder: every *.m3u8 in it");
    app.add_option("--charts", shared.charts,
                   "Where run gets charts: lastfm, a feeds folder, or http://HOST:PORT/");
    app.add_option("--api-key", shared.apiKey,
                   "Last.fm API key (default: $LASTFM_API_KEY, which keeps it out of ps)");

    chartloom::cli::ServeOptions serveOptions;
    CLI::App* serve = app.add_subcommand(
        "serve", "Answer the chart feeds over HTTP, from a folder, from Last.fm, or both");
    serve->fallthrough()->footer(kSharedFooter);
    serve->add_option("--feeds", serveOptions.feeds,
                      "Folder of <artist>/toptracks.xml and similar.xml (wins over --lastfm)");
    serve->add_flag("--lastfm", serveOptions.lastfm, "Answer live from the Last.fm 2.0 API");
    chartloom::cli::addLastfmOptions(serve, serveOptions.live);
    for (const char* live : {"--lastfm-url", "--cache", "--max-age", "--rate", "--offline"}) {
        serve->get_option(live)->needs("--lastfm");
    }
    serve->add_option("--bind", serveOptions.bind, "Address to listen on")->capture_default_str();
    serve->add_option("--port", serveOptions.port, "Port to listen on (0 picks a free one)")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();

    chartloom::cli::SessionOptions menuOptions, runOptions;
    CLI::App* menu = app.add_subcommand("menu", "Show the context menu for the selection");
    CLI::Option* menuMpd = addSessionOptions(menu, menuOptions);

    std::string item;
    CLI::App* run = app.add_subcommand("run", "Run a context menu item as a click would");
    run->add_option("item", item, "The item's name, e.g. \"Artist Charts Playlist\"")->required();
    CLI::Option* runMpd = addSessionOptions(run, runOptions);
    run->add_flag("--no-play", runOptions.noPlay,
                  "With --mpd: leave MPD's queue and playback alone")
        ->needs(runMpd);
    chartloom::cli::addLastfmOptions(run, runOptions.lastfm);
    run->add_flag("--absolute-paths", runOptions.absolutePaths,
                  "Name the tracks in written playlists by absolute paths (default: relative to "
                  "the playlist file)");

    std::string folder;
    std::optional<std::string> index;
    CLI::App* scan = app.add_subcommand(
        "scan", "Read a music folder: print its library JSON, or bring an index up to date");
    scan->add_option("folder", folder, "Music folder")->required();
    scan->add_option("--index", index,
                     "Library index to create or update (only new and changed files are read)");

    std::string data = chartloom::cli::demoDataFolder();
    CLI::App* demo = app.add_subcommand("demo", "Show everything at work on the bundled data");
    demo->add_option("--data", data, "Demo data folder");

    chartloom::cli::FollowCommand follow(app);

    CLI::App* configShow = app.add_subcommand(
        "config", "Show the configuration file read and the option defaults in force");
    configShow->fallthrough();

    // A word where the command goes that is no command: say so, and what was probably meant.
    if (argc > 1 && argv[1][0] != '-') {
        std::vector<std::string> commands;
        for (const CLI::App* sub : app.get_subcommands({}))
            commands.push_back(sub->get_name());
        if (std::find(commands.begin(), commands.end(), argv[1]) == commands.end()) {
            std::string text = std::string("chartloom: \"") + argv[1] + "\" is not a command";
            if (auto near = chartloom::cli::nearest(argv[1], commands))
                text += "; did you mean \"" + *near + "\"?";
            std::fprintf(stderr, "%s (see chartloom --help)\n", text.c_str());
            return 2;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ConfigError& e) {
        std::fprintf(stderr,
                     "chartloom: %s: %s (it may set library, playlists, charts and api-key, or "
                     "any option of a command in a [command] section)\n",
                     config->as<std::string>().c_str(), e.what());
        return 2;
    } catch (const CLI::ParseError& e) {
        // A bare --mpd takes the next word for MPD's address, even the item's name.
        if (item.empty() && runMpd->count() > 0 && !runMpd->results().empty()) {
            std::fprintf(stderr,
                         "chartloom: --mpd took \"%s\" for MPD's address: put the item before "
                         "--mpd, or write --mpd=ADDRESS\n",
                         runMpd->results().front().c_str());
            return 2;
        }
        int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    using namespace chartloom::cli;
    if (*configShow)
        return configCommand(config->as<std::string>(), onCommandLine(argc, argv, "--config"),
                             shared);
    if (follow.chosen())
        return follow.run(shared);
    for (SessionOptions* o : {&menuOptions, &runOptions}) {
        o->library = shared.library.value_or("");
        o->playlists = shared.playlists;
        o->charts = shared.charts;
    }
    runOptions.lastfm.apiKey = serveOptions.live.apiKey = shared.apiKey;
    // MPD supplies both the library and the playlists; the configuration file's are ignored.
    for (auto [option, o] : {std::pair{menuMpd, &menuOptions}, std::pair{runMpd, &runOptions}}) {
        if (option->count() == 0)
            continue;
        for (const char* local : {"--library", "--playlists"}) {
            if (onCommandLine(argc, argv, local)) {
                std::fprintf(stderr,
                             "chartloom: --mpd and %s exclude each other: MPD's database is the "
                             "library and its stored playlists and queue are the playlists\n",
                             local);
                return 2;
            }
        }
        o->mpd = option->results().empty() ? "" : option->results().front();
        o->library.clear();
        o->playlists.reset();
    }
    if (((*menu && !menuOptions.mpd) || (*run && !runOptions.mpd)) && !shared.library) {
        std::fprintf(stderr,
                     "chartloom: --library is required: a music folder, a library index or a "
                     "library JSON file (or set library in %s), or --mpd for a running MPD\n",
                     configFile.c_str());
        return 2;
    }
    if (*serve)
        return serveCommand(serveOptions);
    if (*menu)
        return menuCommand(menuOptions);
    if (*run)
        return runCommand(item, runOptions);
    if (*scan)
        return scanCommand(folder, index);
    if (*demo)
        return demoCommand(data);
    return 2;
}
