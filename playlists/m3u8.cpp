#include "playlists/m3u8.h"

#include <utility>

#include "toolbase/store_error.h"

namespace chartloom::playlists {

PlaylistFile parseM3u8(std::string_view text, std::string name) {
    PlaylistFile p;
    p.name = std::move(name);
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    bool first = true;
    std::vector<std::string> pending;
    for (size_t number = 1; !text.empty(); ++number) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > kMaxPlaylistLine) {
            throw StoreError("line " + std::to_string(number) +
                             " is longer than 64 KiB, which no entry is");
        }
        bool header = first && line == "#EXTM3U";
        first = false;
        if (line.empty() || header)
            continue;
        if (line[0] == '#') {
            pending.emplace_back(line);
            continue;
        }
        p.paths.emplace_back(line);
        p.notes.push_back(std::exchange(pending, {}));
    }
    p.trailer = std::move(pending);
    return p;
}

std::string formatM3u8(const PlaylistFile& p) {
    std::string text = "#EXTM3U\n";
    for (size_t i = 0; i < p.paths.size(); ++i) {
        const std::string& path = p.paths[i];
        if (path.empty() ||
            path.find_first_of(std::string_view("\n\r\0", 3)) != std::string::npos) {
            throw StoreError("playlist \"" + p.name + "\": the entry \"" + path +
                             "\" holds a line break or NUL and cannot be written");
        }
        if (i < p.notes.size()) {
            for (const auto& line : p.notes[i])
                text += line + "\n";
        }
        text += path + "\n";
    }
    for (const auto& line : p.trailer)
        text += line + "\n";
    return text;
}

}  // namespace chartloom::playlists
