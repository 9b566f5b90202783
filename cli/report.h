// What the player shows after a command: as a human summary or one JSON document.
#pragma once

#include <string>
#include <vector>

#include "player/host.h"

namespace chartloom::cli {

// Keys: menu (when given), console, messages, playlists, playback.
std::string jsonReport(player::Host& host, const std::vector<player::MenuEntry>* menu);

std::string menuText(const std::vector<player::MenuEntry>& menu);
// The console lines and message boxes from the given positions on.
std::string eventsText(const player::Host& host, size_t consoleFrom = 0, size_t messagesFrom = 0);
// One playlist: its name, size and marks, then its items (selected ones starred, the focus
// marked).
std::string playlistText(const player::Host& host, size_t index);
// Console lines, message boxes, playlists (active and playing marked, selection marked), and
// whether playback started.
std::string summaryText(player::Host& host);

}  // namespace chartloom::cli
