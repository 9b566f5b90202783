// `chartloom undo`: puts back what the last change replaced, all of it or nothing.
#include <ctime>
#include <iostream>
#include <map>

#include "cli/commands.h"
#include "mpd/mpd_playlists.h"
#include "playlists/undo_log.h"
#include "toolbase/path_text.h"
#include "toolbase/store_error.h"
#include "toolbase/terminal_text.h"

namespace chartloom::cli {
using playlists::UndoItem;
using playlists::UndoRecord;

namespace {

std::string when(int64_t time) {
    std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string target(const UndoItem& item) {
    switch (item.kind) {
        case UndoItem::Kind::file:
            return "playlist \"" + printable(item.name) + "\" (" + displayPath(item.where) + ")";
        case UndoItem::Kind::mpdPlaylist:
            return "playlist \"" + printable(item.name) + "\" in MPD at " + printable(item.where);
        case UndoItem::Kind::mpdQueue:
            return "the queue of MPD at " + printable(item.where);
    }
    return "";
}

// Every item checked first (apply false), then every item restored: a change comes back whole
// or not at all.
std::vector<std::string> restore(const UndoRecord& record, bool apply,
                                 std::map<std::string, mpd::MpdConnection>& connections) {
    std::vector<std::string> refusals;
    for (const UndoItem& item : record.items) {
        std::optional<std::string> refused;
        if (item.kind == UndoItem::Kind::file) {
            refused = playlists::restorePlaylistFile(item, apply);
        } else {
            auto at = connections.find(item.where);
            if (at == connections.end()) {
                at =
                    connections
                        .emplace(item.where, mpd::MpdConnection(mpd::resolveMpdAddress(item.where)))
                        .first;
            }
            refused = mpd::restoreOnMpd(at->second, item, apply);
        }
        if (refused)
            refusals.push_back(*refused);
    }
    return refusals;
}

}  // namespace

int undoCommand(bool listOnly) {
    try {
        playlists::UndoLog log;
        std::vector<UndoRecord> records = log.list();
        if (listOnly) {
            if (records.empty())
                std::cout << "nothing to undo\n";
            for (size_t i = 0; i < records.size(); ++i) {
                std::cout << i + 1 << ". " << when(records[i].time) << "  "
                          << printable(records[i].command) << "\n";
                for (const UndoItem& item : records[i].items)
                    std::cout << "     " << target(item) << (item.existed ? "" : ", made by it")
                              << "\n";
            }
            return 0;
        }
        if (records.empty()) {
            std::fprintf(stderr, "chartloom: nothing to undo\n");
            return 1;
        }
        const UndoRecord& last = records.front();
        std::map<std::string, mpd::MpdConnection> connections;
        std::vector<std::string> refusals = restore(last, false, connections);
        if (!refusals.empty()) {
            for (const std::string& why : refusals)
                std::fprintf(stderr, "chartloom: %s\n", printable(why).c_str());
            std::fprintf(stderr, "chartloom: %s was not undone: what it wrote has changed since\n",
                         printable(last.command).c_str());
            return 1;
        }
        restore(last, true, connections);
        log.remove(last.id);
        std::cout << "undid " << printable(last.command) << " of " << when(last.time) << ":\n";
        for (const UndoItem& item : last.items)
            std::cout << "  " << target(item) << (item.existed ? " restored" : " removed") << "\n";
        return 0;
    } catch (const StoreError& e) {
        std::fprintf(stderr, "chartloom: %s\n", printable(e.what(), true).c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chartloom: %s\n", printable(e.what(), true).c_str());
        return 1;
    }
}

}  // namespace chartloom::cli
