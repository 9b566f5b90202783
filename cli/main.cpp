// The `chartloom` command line: the reference host as a tool.
#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/serve_command.h"

namespace {

void addSessionOptions(CLI::App* command, chartloom::cli::SessionOptions& o) {
    command
        ->add_option("--library", o.library,
                     "Library JSON file, library index, or music folder (indexed in the "
                     "cache folder)")
        ->required();
    command->add_option("--playlists", o.playlists, "Playlist store: a folder of *.m3u8");
    command->add_option("--active", o.active, "Open the menu on this playlist's view");
    command->add_option("--select", o.select, "all, artist=NAME, path=PATH or pos=N (repeatable)");
    command->add_flag("--json", o.json, "Print one JSON document");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"chartloom: playlists from an artist's charts, on your own music library"};
    app.require_subcommand(1);

    std::string feeds, bind = "127.0.0.1";
    int port = 7380;
    CLI::App* serve = app.add_subcommand("serve", "Answer the chart feeds from a folder over HTTP");
    serve->add_option("--feeds", feeds, "Folder of <artist>/toptracks.xml and similar.xml")
        ->required();
    serve->add_option("--bind", bind, "Address to listen on");
    serve->add_option("--port", port, "Port to listen on (0 picks a free one)")
        ->check(CLI::Range(0, 65535));

    chartloom::cli::SessionOptions menuOptions, runOptions;
    CLI::App* menu = app.add_subcommand("menu", "Show the context menu for the selection");
    addSessionOptions(menu, menuOptions);

    std::string item;
    CLI::App* run = app.add_subcommand("run", "Run a context menu item as a click would");
    run->add_option("item", item, "The item's name, e.g. \"Artist Charts Playlist\"")->required();
    addSessionOptions(run, runOptions);

    std::string folder;
    std::optional<std::string> index;
    CLI::App* scan = app.add_subcommand(
        "scan", "Read a music folder: print its library JSON, or bring an index up to date");
    scan->add_option("folder", folder, "Music folder")->required();
    scan->add_option("--index", index,
                     "Library index to create or update (only new and changed files are read)");

    std::string data = CHARTLOOM_SOURCE_DIR "/data/demo";
    CLI::App* demo = app.add_subcommand("demo", "Show everything at work on the bundled data");
    demo->add_option("--data", data, "Demo data folder");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    using namespace chartloom::cli;
    if (*serve)
        return serveCommand(feeds, bind, port);
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
