// What the player shows after a command: as a human summary or one JSON document.
#pragma once

#include <string>
#include <vector>

#include "player/host.h"

namespace chartloom::cli {

// Keys: menu (when given), console, messages, playlists, playback. `cause` (none when empty)
// goes with the last message, as its "cause".
std::string jsonReport(player::Host& host, const std::vector<player::MenuEntry>* menu,
                       const std::string& cause = {});

// Why the menu does not show an item, completing "<item> ..."; `onPlaylist` when the menu was
// opened on a playlist's items.
std::string whyHidden(const player::MenuEntry& entry, bool onPlaylist);
// One line per item; a hidden one says why.
std::string menuText(const std::vector<player::MenuEntry>& menu, bool onPlaylist);
// The console lines and message boxes from the given positions on.
std::string eventsText(const player::Host& host, size_t consoleFrom = 0, size_t messagesFrom = 0);
// One playlist: its name, size and marks, then its items (selected ones starred, the focus
// marked).
std::string playlistText(const player::Host& host, size_t index);
// The human summary of a run: console lines, message boxes and after them "chart source:
// `cause`" (when there is a message and a cause), the playlists `changed` (indices), a legend
// of the marks, and `playback` (what happened to it; none when empty).
std::string runSummaryText(const player::Host& host, const std::vector<size_t>& changed,
                           const std::string& playback, const std::string& cause = {});
// One comparable text per playlist (name, items, selection, focus): a playlist whose text is
// new or different after a run is one the run created or changed.
std::vector<std::string> playlistContents(const player::Host& host);

}  // namespace chartloom::cli
