// The subcommands of `chartloom`. Each answers the program's exit status: 0 ran and showed no
// error, 1 showed an error message, 2 bad usage or unreadable input, 130 aborted with Ctrl-C.
#pragma once

#include <optional>
#include <string>

#include "cli/session.h"

namespace chartloom::cli {

int menuCommand(const SessionOptions& options);
int runCommand(const std::string& item, const SessionOptions& options);
// Without an index, prints the folder's library JSON.
int scanCommand(const std::string& folder, const std::optional<std::string>& index);
// `data` holds library.json, feeds/ and playlists/.
int demoCommand(const std::string& data);
// Restores what the last change replaced; with `listOnly`, lists the changes kept.
int undoCommand(bool listOnly);
// The names of the playlists in the folder or MPD of `options`, one a line.
int playlistsCommand(const SessionOptions& options);
// Which entries of the selection's artist's chart the library holds, and the nearest title of
// those it lacks: 0 the chart was read, 1 it was not (the plug-in's message), 2 bad usage.
int missingCommand(const SessionOptions& options);

}  // namespace chartloom::cli
