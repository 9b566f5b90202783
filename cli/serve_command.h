// `chartloom serve`: the stand-in chart service, answering the two feeds from a folder.
#pragma once

#include <string>

namespace chartloom::cli {

// Serves `feeds` on bind:port (port 0 picks a free one), prints "listening on
// http://ADDR:PORT/" as the first line on stdout, and runs until SIGINT or SIGTERM.
// Answers the exit status (0, or 2 when the folder or the address cannot be used).
int serveCommand(const std::string& feeds, const std::string& bind, int port);

}  // namespace chartloom::cli
