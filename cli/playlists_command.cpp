// `chartloom playlists`: the names --active takes, for a person and for shell completion.
#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "mpd/mpd_playlists.h"
#include "playlists/playlist_files.h"
#include "toolbase/store_error.h"
#include "toolbase/terminal_text.h"

namespace chartloom::cli {

int playlistsCommand(const SessionOptions& options) {
    try {
        if (options.mpd) {
            mpd::MpdConnection connection(mpd::resolveMpdAddress(*options.mpd));
            for (const mpd::MpdPlaylist& p : mpd::readMpdPlaylists(connection))
                std::cout << printable(p.name) << "\n";
            return 0;
        }
        playlists::PlaylistFolder folder = playlists::readPlaylistFolder(*options.playlists);
        for (const playlists::StoredPlaylist& p : folder.playlists)
            std::cout << printable(p.file.name) << "\n";
        for (const auto& [name, why] : folder.unreadable)
            std::fprintf(stderr, "chartloom: skipped %s\n", printable(why).c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chartloom: %s\n", printable(e.what(), true).c_str());
        return 2;
    }
}

}  // namespace chartloom::cli
