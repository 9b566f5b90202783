#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "cli/commands.h"
#include "cli/install_paths.h"
#include "cli/suggestion.h"
#include "cli/usage_error.h"

namespace chartloom::cli {
namespace {

const char* const kSharedFooter =
    "Also: --library, --playlists, --charts, --match, --api-key and --listenbrainz-token (see\n"
    "chartloom --help), which config.toml may set for every command.";

// The options of `menu` and `run`; answers --mpd, which is read after parsing (a bare --mpd
// has no value to store).
CLI::Option* addSessionOptions(CLI::App* command, SessionOptions& o) {
    command->fallthrough()->footer(kSharedFooter);
    command->add_option("--active", o.active, "Open the menu on this playlist's view")
        ->type_name("NAME");
    // One value per use, so that a menu item's name after it is not taken for a second rule.
    command->add_option("--select", o.select, "all, artist=NAME, path=PATH or pos=N (repeatable)")
        ->type_name("RULE")
        ->type_size(1)
        ->allow_extra_args(false);
    command->add_flag("--json", o.json, "Print one JSON document");
    command->add_flag("--verbose", o.verbose, "Say why each failed request failed, on stderr");
    return command
        ->add_option("--mpd",
                     "A running MPD as library and playlists: HOST, HOST:PORT or a socket "
                     "path (default: $MPD_HOST, $MPD_PORT, else localhost:6600)")
        ->type_name("ADDRESS")
        ->expected(0, 1);
}

bool isNumeric(const CLI::Option& option) {
    std::string type = option.get_type_name();
    for (const char* numeric : {"INT", "UINT", "FLOAT", "NUMBER"}) {
        if (type.starts_with(numeric))
            return true;
    }
    return false;
}

bool isFlag(const CLI::Option& option) {
    return option.get_expected_max() == 0;
}

// The options a section of the file may set, by key: the command's own long options.
std::vector<std::pair<std::string, CLI::Option*>> keysOf(CLI::App& command) {
    std::vector<std::pair<std::string, CLI::Option*>> keys;
    for (CLI::Option* option : command.get_options()) {
        const std::string& name = option->get_name();
        if (option->get_lnames().empty() || name == "--help" || name == "--version" ||
            name == "--config")
            continue;
        keys.emplace_back(option->get_lnames().front(), option);
    }
    return keys;
}

// Gives `option` the value the file holds for it, as if it came from the command line; only
// checks the value's type unless `apply`.
void applyValue(const ConfigFile& file, const ConfigValue& v, CLI::Option& option, bool apply) {
    using Type = ConfigValue::Type;
    auto wrongType = [&](const char* wanted) {
        const char* found[] = {"text", "an integer", "a number", "true or false", "a list"};
        throw UsageError(file.where(v) + ": " + v.key + " takes " + wanted + ", not " +
                         found[static_cast<int>(v.type)]);
    };
    if (isFlag(option)) {
        if (v.type != Type::boolean)
            wrongType("true or false");
        if (!apply || v.values.front() == "false")
            return;
    } else if (option.get_expected_max() > 1) {
        if (v.type != Type::text && v.type != Type::list)
            wrongType("text in quotes, or a list of texts");
    } else if (isNumeric(option)) {
        if (v.type != Type::integer && v.type != Type::number)
            wrongType("a number");
    } else if (option.get_expected_min() == 0) {  // a value that may be left out: true for none
        if (v.type == Type::boolean) {
            if (apply && v.values.front() == "true")
                option.add_result(std::string());
            return;
        }
        if (v.type != Type::text)
            wrongType("text in quotes, or true");
    } else if (v.type != Type::text) {
        wrongType("text in quotes");
    }
    if (!apply)
        return;
    try {
        option.add_result(v.values);
        option.run_callback();
    } catch (const CLI::Error& e) {
        throw UsageError(file.where(v) + ": " + e.what());
    }
}

std::vector<std::string> keyNames(const std::vector<std::pair<std::string, CLI::Option*>>& keys) {
    std::vector<std::string> names;
    for (const auto& [key, option] : keys)
        names.push_back(key);
    return names;
}

std::string didYouMean(const std::string& word, const std::vector<std::string>& candidates) {
    auto near = nearest(word, candidates);
    return near ? "; did you mean \"" + *near + "\"?" : "";
}

// Checks every key of the file, and gives the options the command line left unset the
// values of the top level and of the running command's section.
void applyConfig(const ConfigFile& file, CLI::App& app, const CLI::App* running) {
    std::vector<std::string> sections;
    for (const CLI::App* sub : app.get_subcommands({}))
        sections.push_back(sub->get_name());
    auto shared = keysOf(app);
    for (const ConfigValue& v : file.values) {
        CLI::App* command = &app;
        if (!v.section.empty()) {
            auto named = std::find(sections.begin(), sections.end(), v.section);
            if (named == sections.end()) {
                throw UsageError(file.where(v) + ": [" + v.section + "] is not a command" +
                                 didYouMean(v.section, sections));
            }
            command = app.get_subcommand(v.section);
        }
        auto keys = v.section.empty() ? shared : keysOf(*command);
        auto found =
            std::find_if(keys.begin(), keys.end(), [&](const auto& k) { return k.first == v.key; });
        if (found == keys.end()) {
            std::string where = v.section.empty() ? "at the top level (options every command "
                                                    "shares)"
                                                  : "in [" + v.section + "]";
            throw UsageError(file.where(v) + ": \"" + v.key + "\" is not an option " + where +
                             didYouMean(v.key, keyNames(keys)));
        }
        bool applies = v.section.empty() || command == running;
        applyValue(file, v, *found->second, applies && found->second->count() == 0);
    }
}

// Whether `args` name `option` themselves ("--mpd" or "--mpd=...").
bool given(const std::vector<std::string>& args, std::string_view option) {
    return std::any_of(args.begin(), args.end(), [&](const std::string& arg) {
        return arg == option || (arg.starts_with(option) && arg[option.size()] == '=');
    });
}

}  // namespace

CommandTable defineCommandLine(CLI::App& app, CommandLine& line) {
    app.description("chartloom: playlists from an artist's charts, on your own music library");
    app.name("chartloom");
    app.require_subcommand(1);
    app.set_version_flag("--version", "chartloom " CHARTLOOM_VERSION);

    std::string& configFile = line.configPath;
    configFile = defaultConfigFile();
    app.add_option("--config", configFile, "Read option defaults from this TOML file")
        ->type_name("FILE");
    SharedOptions& shared = line.shared;
    app.add_option("--library", shared.library, "Music folder, library index or library JSON file")
        ->type_name("PATH");
    app.add_option("--playlists", shared.playlists,
                   "Playlist folder: every *.m3u8 and *.m3u in it (new ones are written as .m3u8)")
        ->type_name("DIR");
    app.add_option("--charts", shared.charts,
                   "Where charts come from: lastfm, listenbrainz, a feeds folder, "
                   "http://HOST:PORT/, or a list of them asked in turn (lastfm,listenbrainz)")
        ->type_name("SOURCES");
    app.add_option("--api-key", shared.apiKey,
                   "Last.fm API key (default: $LASTFM_API_KEY, which keeps it out of ps)")
        ->type_name("KEY");
    app.add_option("--listenbrainz-token", shared.listenbrainzToken,
                   "ListenBrainz user token (default: $LISTENBRAINZ_TOKEN, which keeps it out of "
                   "ps)")
        ->type_name("TOKEN");

    addMatchOption(&app, shared.looseMatch);

    ServeOptions& serveOptions = line.serve;
    CLI::App* serve = app.add_subcommand(
        "serve",
        "Answer the chart feeds over HTTP, from a folder, from Last.fm, from ListenBrainz, or "
        "from several of them in that order");
    serve->fallthrough()->footer(kSharedFooter);
    serve
        ->add_option("--feeds", serveOptions.feeds,
                     "Folder of <artist>/toptracks.xml and similar.xml (wins over the others)")
        ->type_name("DIR");
    CLI::Option* lastfm =
        serve->add_flag("--lastfm", serveOptions.lastfm, "Answer live from the Last.fm 2.0 API");
    CLI::Option* listenbrainz =
        serve->add_flag("--listenbrainz", serveOptions.listenbrainz,
                        "Answer live from ListenBrainz (after Last.fm when both are given)");
    addLastfmOptions(serve, serveOptions.live);
    for (const char* live : {"--lastfm-url", "--rate"})
        serve->get_option(live)->needs(lastfm);
    for (const char* live :
         {"--listenbrainz-url", "--labs-url", "--musicbrainz-url", "--similar-algorithm"})
        serve->get_option(live)->needs(listenbrainz);
    serve->add_option("--bind", serveOptions.bind, "Address to listen on")
        ->type_name("ADDRESS")
        ->capture_default_str();
    serve->add_option("--port", serveOptions.port, "Port to listen on (0 picks a free one)")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();

    SessionOptions& session = line.session;
    CLI::App* menu = app.add_subcommand("menu", "Show the context menu for the selection");
    CLI::Option* menuMpd = addSessionOptions(menu, session);

    CLI::App* run = app.add_subcommand("run", "Run a context menu item as a click would");
    run->add_option("item", line.item, "The item's name, e.g. \"Artist Charts Playlist\"")
        ->required();
    CLI::Option* runMpd = addSessionOptions(run, session);
    run->add_flag("--no-play", session.noPlay, "With --mpd: leave MPD's queue and playback alone")
        ->needs(runMpd);
    run->add_flag("--append", session.append,
                  "With --mpd: add the new playlist's songs to the end of the queue instead of "
                  "playing it")
        ->needs(runMpd)
        ->excludes("--no-play");
    run->add_flag("--dry-run", session.dryRun,
                  "Do everything but the writing, and say what would be written");
    addLastfmOptions(run, session.lastfm);
    run->add_flag("--absolute-paths", session.absolutePaths,
                  "Name the tracks in written playlists by absolute paths (default: relative to "
                  "the playlist file)");

    CLI::App* scan = app.add_subcommand(
        "scan", "Read a music folder: print its library JSON, or bring an index up to date");
    scan->add_option("folder", line.scanFolder, "Music folder")->type_name("DIR")->required();
    scan->add_option("--index", line.scanIndex,
                     "Library index to create or update (only new and changed files are read)")
        ->type_name("FILE");

    line.demoData = demoDataFolder();
    CLI::App* demo = app.add_subcommand("demo", "Show everything at work on the bundled data");
    demo->add_option("--data", line.demoData, "Demo data folder")->type_name("DIR");

    CLI::Option* followMpd = addFollowCommand(app, line.follow);
    CLI::App* follow = app.get_subcommand("follow");

    CLI::App* undo = app.add_subcommand(
        "undo", "Put back what the last change to playlists or MPD's queue replaced");
    undo->add_flag("--list", line.undoList, "List the changes that can be undone, newest first");

    CLI::App* configShow = app.add_subcommand(
        "config", "Show the configuration file read and the option defaults in force");
    configShow->fallthrough();

    CLI::App* playlists = app.add_subcommand(
        "playlists", "List the playlists the other commands see (with --playlists or --mpd)");
    playlists->fallthrough();
    CLI::Option* playlistsMpd =
        playlists->add_option("--mpd", "A running MPD's stored playlists and queue")
            ->type_name("ADDRESS")
            ->expected(0, 1);

    CLI::App* missing = app.add_subcommand(
        "missing",
        "List the selection's artist's chart: the tracks the library has, and those it lacks "
        "with the nearest title it has");
    missing->fallthrough()->footer(kSharedFooter);
    missing->add_option("--select", session.select, "all, artist=NAME or path=PATH (repeatable)")
        ->type_size(1)
        ->allow_extra_args(false);
    missing->add_flag("--json", session.json, "Print one JSON document");
    addLastfmOptions(missing, session.lastfm);

    return {serve,      menu,      run,     scan,    demo,   follow,    undo,
            configShow, playlists, missing, menuMpd, runMpd, followMpd, playlistsMpd};
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    CLI::App app;
    auto [serve, menu, run, scan, demo, follow, undo, configShow, playlists, missing, menuMpd,
          runMpd, followMpd, playlistsMpd] = defineCommandLine(app, line);
    const std::string& configFile = line.configPath;
    SharedOptions& shared = line.shared;
    SessionOptions& session = line.session;
    ServeOptions& serveOptions = line.serve;

    // A word where the command goes that is no command: say so, and what was probably meant.
    if (!args.empty() && !args.front().starts_with("-")) {
        std::vector<std::string> commands;
        for (const CLI::App* sub : app.get_subcommands({}))
            commands.push_back(sub->get_name());
        if (std::find(commands.begin(), commands.end(), args.front()) == commands.end()) {
            std::string near = didYouMean(args.front(), commands);
            throw UsageError("\"" + args.front() + "\" is not a command" + near +
                             " (see chartloom --help)");
        }
    }
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // as CLI11 takes them
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        line.command = Command::help;
        line.text = app.help();
        return line;
    } catch (const CLI::CallForVersion& e) {
        line.command = Command::version;
        line.text = std::string(e.what()) + "\n";
        return line;
    } catch (const CLI::ParseError& e) {
        // A bare --mpd takes the next word for MPD's address, even the item's name.
        if (line.item.empty() && runMpd->count() > 0 && !runMpd->results().empty()) {
            throw UsageError("--mpd took \"" + runMpd->results().front() +
                             "\" for MPD's address: put the item before --mpd, or write "
                             "--mpd=ADDRESS");
        }
        const CLI::App* used = app.get_subcommands().empty() ? &app : app.get_subcommands()[0];
        std::string see =
            used == &app ? "chartloom --help" : "chartloom " + used->get_name() + " --help";
        throw UsageError(std::string(e.what()) + " (see " + see + ")");
    }
    CLI::App* running = app.get_subcommands().front();
    if (running == serve && !serveOptions.lastfm && !serveOptions.listenbrainz) {
        for (const char* live : {"--cache", "--max-age", "--offline"}) {
            if (serve->get_option(live)->count() > 0)
                throw UsageError(std::string(live) +
                                 " needs --lastfm or --listenbrainz (see chartloom serve --help)");
        }
    }
    line.configGiven = given(args, "--config");
    line.config = readConfigFile(configFile, line.configGiven);
    applyConfig(line.config, app, running);

    if (running == configShow) {
        line.command = Command::config;
        return line;
    }
    if (running == playlists) {
        if (playlistsMpd->count() > 0)
            line.session.mpd =
                playlistsMpd->results().empty() ? "" : playlistsMpd->results().front();
        line.session.playlists = shared.playlists;
        if (!line.session.mpd && !shared.playlists)
            throw UsageError("playlists: give --playlists DIR or --mpd");
        line.command = Command::playlists;
        return line;
    }
    if (running == follow) {
        // Follow always uses MPD: --mpd may be left out, and names another MPD when given.
        if (followMpd->count() > 0 && !followMpd->results().empty())
            line.follow.mpd = followMpd->results().front();
        line.command = Command::follow;
        return line;
    }
    session.library = shared.library.value_or("");
    session.playlists = shared.playlists;
    session.charts = shared.charts;
    session.match = session.lastfm.match = serveOptions.live.match =
        shared.looseMatch ? MatchMode::loose : MatchMode::exact;
    session.lastfm.apiKey = serveOptions.live.apiKey = shared.apiKey;
    session.lastfm.listenbrainzToken = serveOptions.live.listenbrainzToken =
        shared.listenbrainzToken;
    // MPD supplies both the library and the playlists; the configuration file's are ignored.
    CLI::Option* mpd = running == menu ? menuMpd : running == run ? runMpd : nullptr;
    if (mpd && mpd->count() > 0) {
        for (const char* local : {"--library", "--playlists"}) {
            if (given(args, local)) {
                throw UsageError(std::string("--mpd and ") + local +
                                 " exclude each other: MPD's database is the library and its "
                                 "stored playlists and queue are the playlists");
            }
        }
        session.mpd = mpd->results().empty() ? "" : mpd->results().front();
        session.library.clear();
        session.playlists.reset();
    }
    if ((running == menu || running == run || running == missing) && !session.mpd &&
        !shared.library) {
        throw UsageError(
            "--library is required: a music folder, a library index or a library JSON file (or "
            "set library in " +
            (configFile.empty() ? std::string("config.toml") : configFile) +
            "), or --mpd for a running MPD");
    }
    line.command = running == serve     ? Command::serve
                   : running == menu    ? Command::menu
                   : running == run     ? Command::run
                   : running == scan    ? Command::scan
                   : running == undo    ? Command::undo
                   : running == missing ? Command::missing
                                        : Command::demo;
    return line;
}

int runCommandLine(const CommandLine& line) {
    switch (line.command) {
        case Command::help:
        case Command::version:
            std::fputs(line.text.c_str(), stdout);
            return 0;
        case Command::config:
            return configCommand(line);
        case Command::serve:
            return serveCommand(line.serve);
        case Command::menu:
            return menuCommand(line.session);
        case Command::run:
            return runCommand(line.item, line.session);
        case Command::scan:
            return scanCommand(line.scanFolder, line.scanIndex);
        case Command::demo:
            return demoCommand(line.demoData);
        case Command::undo:
            return undoCommand(line.undoList);
        case Command::follow:
            return followCommand(line.follow, line.shared);
        case Command::playlists:
            return playlistsCommand(line.session);
        case Command::missing:
            return missingCommand(line.session);
    }
    return 2;
}

}  // namespace chartloom::cli
