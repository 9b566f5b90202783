#include "playlists/undo_log.h"

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <system_error>

#include "playlists/file_replace.h"
#include "toolbase/path_text.h"
#include "toolbase/store_error.h"
#include "toolbase/xdg_dirs.h"

namespace chartloom::playlists {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const char* kindName(UndoItem::Kind kind) {
    switch (kind) {
        case UndoItem::Kind::file:
            return "file";
        case UndoItem::Kind::mpdPlaylist:
            return "mpd-playlist";
        case UndoItem::Kind::mpdQueue:
            return "mpd-queue";
    }
    return "file";
}

std::optional<UndoItem::Kind> kindOf(const std::string& name) {
    for (auto kind :
         {UndoItem::Kind::file, UndoItem::Kind::mpdPlaylist, UndoItem::Kind::mpdQueue}) {
        if (name == kindName(kind))
            return kind;
    }
    return std::nullopt;
}

// Bytes that are not UTF-8 (a Latin-1 playlist) travel percent-encoded.
std::string decoded(const json& text) {
    std::string out;
    if (!text.is_string() || !percentDecode(text.get<std::string>(), out))
        throw std::invalid_argument("bad text");
    return out;
}

std::optional<UndoRecord> readRecord(const fs::path& file) {
    std::string text;
    try {
        if (!readWholeFile(file, text))
            return std::nullopt;
        json doc = json::parse(text);
        UndoRecord record;
        record.id = file.filename().string();
        record.time = doc.at("time").get<int64_t>();
        record.command = doc.at("command").get<std::string>();
        for (const json& i : doc.at("items")) {
            UndoItem item;
            auto kind = kindOf(i.at("kind").get<std::string>());
            if (!kind)
                return std::nullopt;
            item.kind = *kind;
            item.where = decoded(i.at("where"));
            item.name = decoded(i.at("name"));
            item.existed = i.at("existed").get<bool>();
            item.before = decoded(i.at("before"));
            item.after = decoded(i.at("after"));
            record.items.push_back(std::move(item));
        }
        return record;
    } catch (const std::exception&) {
        return std::nullopt;  // damaged or foreign: not ours to undo
    }
}

}  // namespace

fs::path UndoLog::defaultFolder() {
    fs::path state = chartloomDir(XdgDir::state);
    return state.empty() ? state : state / "undo";
}

UndoLog::UndoLog(fs::path folder) : folder_(std::move(folder)) {}

void UndoLog::add(UndoRecord& record) {
    if (folder_.empty())
        throw StoreError("no place for undo records: set XDG_STATE_HOME or HOME");
    json items = json::array();
    for (const UndoItem& item : record.items) {
        items.push_back({{"kind", kindName(item.kind)},
                         {"where", percentEncodeRaw(item.where)},
                         {"name", percentEncodeRaw(item.name)},
                         {"existed", item.existed},
                         {"before", percentEncodeRaw(item.before)},
                         {"after", percentEncodeRaw(item.after)}});
    }
    json doc = {{"time", record.time}, {"command", record.command}, {"items", items}};
    // Names sort by time, then by process, so that the newest comes last.
    auto now = std::chrono::system_clock::now().time_since_epoch();
    char name[64];
    std::snprintf(
        name, sizeof name, "%020lld-%08d.json",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()),
        static_cast<int>(::getpid()));
    record.id = name;
    try {
        fs::create_directories(folder_);
        replaceFileContents(folder_ / name, doc.dump(1) + "\n");
    } catch (const std::exception& e) {
        throw StoreError("cannot keep what this change replaced in " + folder_.string() + ": " +
                         e.what());
    }
    std::vector<UndoRecord> all = list();
    for (size_t i = kUndoKept; i < all.size(); ++i)
        remove(all[i].id);
}

std::vector<UndoRecord> UndoLog::list() const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".json")
            files.push_back(it->path());
    }
    std::sort(files.rbegin(), files.rend());
    std::vector<UndoRecord> records;
    for (const fs::path& file : files) {
        if (auto record = readRecord(file))
            records.push_back(std::move(*record));
    }
    return records;
}

void UndoLog::remove(const std::string& id) {
    std::error_code ec;
    fs::remove(folder_ / id, ec);
}

std::optional<std::string> restorePlaylistFile(const UndoItem& item, bool apply) {
    std::string now;
    bool exists = readWholeFile(item.where, now);
    if (!exists || now != item.after)
        return displayPath(item.where) + " changed since; left as it is";
    if (!apply)
        return std::nullopt;
    if (item.existed)
        replaceFileContents(item.where, item.before);
    else
        fs::remove(item.where);
    return std::nullopt;
}

}  // namespace chartloom::playlists
