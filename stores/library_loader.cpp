#include "stores/library_loader.h"

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "stores/store_error.h"

namespace chartloom::stores {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

[[noreturn]] void bad(const fs::path& file, const std::string& where, const std::string& what) {
    throw StoreError(file.string() + ": " + where + ": " + what);
}

LibraryTrack trackFromJson(const fs::path& file, size_t index, const json& entry) {
    std::string where = "tracks[" + std::to_string(index) + "]";
    if (!entry.is_object())
        bad(file, where, "expected an object");
    LibraryTrack t;
    auto path = entry.find("path");
    if (path == entry.end() || !path->is_string() || path->get<std::string>().empty()) {
        bad(file, where, "\"path\" must be a non-empty text");
    }
    t.path = path->get<std::string>();
    if (auto u = entry.find("unreadable"); u != entry.end()) {
        if (!u->is_boolean())
            bad(file, where, "\"unreadable\" must be true or false");
        t.fields.unreadable = u->get<bool>();
    }
    if (auto meta = entry.find("meta"); meta != entry.end()) {
        if (!meta->is_object())
            bad(file, where, "\"meta\" must be an object");
        for (const auto& [name, values] : meta->items()) {
            std::vector<std::string> texts;
            if (values.is_string()) {
                texts.push_back(values.get<std::string>());
            } else if (values.is_array()) {
                for (const auto& v : values) {
                    if (!v.is_string())
                        bad(file, where + ".meta." + name, "values must be texts");
                    texts.push_back(v.get<std::string>());
                }
            } else {
                bad(file, where + ".meta." + name, "expected a list of texts");
            }
            t.fields.meta.emplace_back(name, std::move(texts));
        }
    }
    if (auto info = entry.find("info"); info != entry.end()) {
        if (!info->is_object())
            bad(file, where, "\"info\" must be an object");
        for (const auto& [name, value] : info->items()) {
            if (value.is_string()) {
                t.fields.info.emplace_back(name, value.get<std::string>());
            } else if (value.is_number_integer()) {
                t.fields.info.emplace_back(name, std::to_string(value.get<long long>()));
            } else {
                bad(file, where + ".info." + name, "expected a text");
            }
        }
    }
    return t;
}

bool isAudioFile(const fs::path& p) {
    static const std::set<std::string> extensions = {
        ".mp3", ".flac", ".ogg", ".oga", ".opus", ".m4a", ".mp4", ".aac", ".wav",
        ".wv",  ".ape",  ".mpc", ".aif", ".aiff", ".wma", ".spx", ".tta", ".dsf"};
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return extensions.count(ext) != 0;
}

LibraryTrack readAudioFile(const fs::path& folder, const fs::path& file) {
    LibraryTrack t;
    t.path = fs::relative(file, folder).generic_string();
    TagLib::FileRef ref(file.c_str());
    // TagLib accepts some files it cannot decode; without a sample rate there is no audio.
    const TagLib::AudioProperties* audio = ref.isNull() ? nullptr : ref.audioProperties();
    if (!audio || audio->sampleRate() <= 0) {
        t.fields.unreadable = true;
        return t;
    }
    TagLib::PropertyMap props = ref.file()->properties();
    auto take = [&](const char* key, const char* as) {
        auto found = props.find(key);
        if (found == props.end())
            return;
        std::vector<std::string> values;
        for (const auto& v : found->second)
            values.push_back(v.to8Bit(true));
        t.fields.meta.emplace_back(as, std::move(values));
    };
    take("ARTIST", "artist");
    take("TITLE", "title");
    take("PLAY_COUNTER", "PLAY_COUNTER");
    t.fields.info.emplace_back("bitrate", std::to_string(audio->bitrate()));
    return t;
}

}  // namespace

std::vector<LibraryTrack> readLibraryJson(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw StoreError(file.string() + ": cannot read the library file");
    json doc;
    try {
        doc = json::parse(in);
    } catch (const json::parse_error& e) {
        throw StoreError(file.string() + ": not a library JSON file: " + e.what());
    }
    if (!doc.is_object() || !doc.contains("tracks") || !doc["tracks"].is_array()) {
        throw StoreError(file.string() + ": expected {\"tracks\": [...]}");
    }
    std::vector<LibraryTrack> tracks;
    const json& list = doc["tracks"];
    tracks.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i)
        tracks.push_back(trackFromJson(file, i, list[i]));
    return tracks;
}

std::vector<LibraryTrack> scanMusicFolder(const fs::path& folder,
                                          const std::function<void(size_t, size_t)>& progress) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw StoreError(folder.string() + ": not a folder");
    std::vector<fs::path> files;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec)
        throw StoreError(folder.string() + ": cannot read the folder: " + ec.message());
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec)
            throw StoreError(folder.string() + ": cannot read the folder: " + ec.message());
        if (it->is_regular_file(ec) && isAudioFile(it->path()))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::vector<LibraryTrack> tracks;
    tracks.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        tracks.push_back(readAudioFile(folder, files[i]));
        if (progress)
            progress(i + 1, files.size());
    }
    return tracks;
}

std::vector<LibraryTrack> readLibrary(const fs::path& source,
                                      const std::function<void(size_t, size_t)>& progress) {
    std::error_code ec;
    if (fs::is_directory(source, ec))
        return scanMusicFolder(source, progress);
    if (!fs::exists(source, ec))
        throw StoreError(source.string() + ": no such file or folder");
    return readLibraryJson(source);
}

std::string libraryToJson(const std::vector<LibraryTrack>& tracks) {
    json list = json::array();
    for (const auto& t : tracks) {
        json entry = {{"path", t.path}};
        if (t.fields.unreadable) {
            entry["unreadable"] = true;
        } else {
            json meta = json::object();
            for (const auto& [name, values] : t.fields.meta)
                meta[name] = values;
            json info = json::object();
            for (const auto& [name, value] : t.fields.info)
                info[name] = value;
            entry["meta"] = meta;
            entry["info"] = info;
        }
        list.push_back(std::move(entry));
    }
    return json{{"tracks", list}}.dump(1);
}

}  // namespace chartloom::stores
