// The `chartloom` command line: the reference host as a tool.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/serve_command.h"

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

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    if (*serve) return chartloom::cli::serveCommand(feeds, bind, port);
    return 2;
}
