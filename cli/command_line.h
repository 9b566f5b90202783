// The `chartloom` command line: the option table, the configuration file's defaults, the rules
// between options, and the dispatch to the commands. Parsing neither prints nor exits: it
// answers the options, or raises UsageError with the exact text to show after "chartloom: ".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/config_file.h"
#include "cli/follow_command.h"
#include "cli/serve_command.h"
#include "cli/session.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace chartloom::cli {

enum class Command {
    help,
    version,
    serve,
    menu,
    run,
    scan,
    demo,
    config,
    undo,
    follow,
    playlists,
    missing
};

struct CommandLine {
    Command command = Command::help;
    std::string text;  // what --help or --version prints

    // The configuration file read, and whether --config named it.
    std::string configPath;
    ConfigFile config;
    bool configGiven = false;
    SharedOptions shared;  // command line over configuration file

    SessionOptions session;  // menu, run and missing
    std::string item;        // run
    ServeOptions serve;
    std::string scanFolder;
    std::optional<std::string> scanIndex;
    std::string demoData;
    bool undoList = false;
    FollowOptions follow;
};

// The commands and the options of each, as the table defines them.
struct CommandTable {
    CLI::App *serve, *menu, *run, *scan, *demo, *follow, *undo, *config, *playlists, *missing;
    CLI::Option *menuMpd, *runMpd, *followMpd, *playlistsMpd;
};

// The option table: every command and option of `app`, bound to `line`'s fields. The one
// source of --help, the man page and the shell completion.
CommandTable defineCommandLine(CLI::App& app, CommandLine& line);

// `args` are the words after the program's name.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// Runs the command; answers the exit status.
int runCommandLine(const CommandLine& line);

// `chartloom config`: the file read and the values in force, the key masked.
int configCommand(const CommandLine& line);

}  // namespace chartloom::cli
