// Reading and writing the library JSON format.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "library/library_json.h"
#include "library/library_loader.h"
#include "tests/support/scratch_dir.h"
#include "toolbase/store_error.h"

namespace chartloom::testing {
namespace fs = std::filesystem;
namespace {

struct LibraryTrack {
    std::string path;
    player::TrackFields fields;
};

std::vector<LibraryTrack> readText(const std::string& text) {
    std::vector<LibraryTrack> out;
    library::readLibraryJsonText(text, "lib.json", [&](const player::TrackRecord& r) {
        out.push_back({std::string(r.path()), {}});
        auto& f = out.back().fields;
        f.unreadable = r.unreadable();
        for (size_t i = 0; i < r.metaCount(); ++i) {
            f.meta.push_back({std::string(r.metaName(i)), {}});
            for (size_t n = 0; n < r.valueCount(i); ++n)
                f.meta.back().second.emplace_back(r.value(i, n));
        }
        for (size_t i = 0; i < r.infoCount(); ++i)
            f.info.emplace_back(r.infoName(i), r.infoValue(i));
    });
    return out;
}

std::string errorOf(const std::string& text) {
    try {
        readText(text);
    } catch (const StoreError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(LibraryJson, FaultsNameTheFileAndThePlace) {
    struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"not json", "lib.json: not a library JSON file: line 1, column 2: syntax error"},
        {"{\"tracks\": [\n {\"path\": \"a\"},\n {\"path\": tru}]}",
         "lib.json: not a library JSON file: line 3, column 14: syntax error"},
        {"{\"tracks\": [{\"path\": \"a\", \"info\": {\"bitrate\": 1e400}}]}",
         "lib.json: not a library JSON file: line 1, column 51: number overflow parsing "
         "'1e400'"},
        {"{\"tracks\": [{\"path\": \"a\"}", "lib.json: not a library JSON file: line 1, column"},
        {"[]", "lib.json: expected {\"tracks\": [...]}"},
        {"{\"other\": []}", "lib.json: expected {\"tracks\": [...]}"},
        {"{\"tracks\": {}}", "lib.json: expected {\"tracks\": [...]}"},
        {"{\"tracks\": [], \"tracks\": []}", "lib.json: \"tracks\" is given twice"},
        {"{\"tracks\": [3]}", "lib.json: tracks[0]: expected an object"},
        {"{\"tracks\": [[]]}", "lib.json: tracks[0]: expected an object"},
        {"{\"tracks\": [{\"path\": \"a\"}, {\"path\": 3}]}",
         "lib.json: tracks[1]: \"path\" must be a non-empty text"},
        {"{\"tracks\": [{\"path\": \"\"}]}", "tracks[0]: \"path\" must be a non-empty text"},
        {"{\"tracks\": [{\"meta\": {}}]}", "tracks[0]: \"path\" must be a non-empty text"},
        {"{\"tracks\": [{\"path\": \"a\", \"unreadable\": 1}]}",
         "tracks[0]: \"unreadable\" must be true or false"},
        {"{\"tracks\": [{\"path\": \"a\", \"meta\": []}]}",
         "tracks[0]: \"meta\" must be an object"},
        {"{\"tracks\": [{\"path\": \"a\", \"meta\": {\"artist\": 3}}]}",
         "tracks[0].meta.artist: expected a list of texts"},
        {"{\"tracks\": [{\"path\": \"a\", \"meta\": {\"artist\": [\"x\", null]}}]}",
         "tracks[0].meta.artist: values must be texts"},
        {"{\"tracks\": [{\"path\": \"a\", \"meta\": {\"artist\": [[\"x\"]]}}]}",
         "tracks[0].meta.artist: values must be texts"},
        {"{\"tracks\": [{\"path\": \"a\", \"info\": 1}]}", "tracks[0]: \"info\" must be an object"},
        {"{\"tracks\": [{\"path\": \"a\", \"info\": {\"bitrate\": 1.5}}]}",
         "tracks[0].info.bitrate: expected a text"},
        {"{\"tracks\": [{\"path\": \"a\", \"info\": {\"bitrate\": {}}}]}",
         "tracks[0].info.bitrate: expected a text"},
        {"{\"tracks\": [{\"path\": \"a\\nb.flac\"}]}",
         "tracks[0]: the path \"a\\nb.flac\" cannot be stored: a line break"},
        {"{\"tracks\": [{\"path\": \"a\\rb\"}]}", "tracks[0]: the path \"a\\rb\" cannot be stored"},
        {"{\"tracks\": [{\"path\": \"a\\u0000b\"}]}",
         "tracks[0]: the path \"a\\x00b\" cannot be stored: a NUL character"},
        {"{\"tracks\": [{\"path\": \"a\", \"raw_path\": \"a%0Ab\"}]}",
         "tracks[0]: the path \"a\\nb\" cannot be stored"},
        {"{\"tracks\": [{\"path\": \"a\", \"raw_path\": \"a%G0\"}]}",
         "tracks[0]: \"raw_path\" must be a non-empty %-encoded path"},
    };
    for (const auto& c : cases) {
        std::string message = errorOf(c.text);
        EXPECT_EQ(message.rfind("lib.json: ", 0), 0u) << message;
        EXPECT_NE(message.find(c.says), std::string::npos) << c.text << "\n  gave: " << message;
    }
}

TEST(LibraryJson, ReadsAsADocumentTreeWould) {
    // Keys in any order and repeated, unknown keys with nested values, numbers as info.
    auto tracks = readText(R"({"version": {"x": [1, {"y": 2}]}, "tracks": [
        {"meta": {"title": "Song 2", "artist": ["Blur", "Damon"], "title": ["Song Two"]},
         "extra": [[{}], {"path": 3}], "path": "first.flac",
         "info": {"bitrate": 320, "big": 18446744073709551615, "neg": -5, "codec": "FLAC"}},
        {"path": "gone.flac", "unreadable": true, "meta": {"artist": "Oasis"}},
        {"path": "x", "meta": {"artist": "A"}, "meta": {"title": []}, "path": "twice.flac"}
    ], "after": null})");
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0].path, "first.flac");
    using Meta = decltype(player::TrackFields::meta);
    using Info = decltype(player::TrackFields::info);
    EXPECT_EQ(tracks[0].fields.meta,
              (Meta{{"artist", {"Blur", "Damon"}}, {"title", {"Song Two"}}}));
    EXPECT_EQ(tracks[0].fields.info, (Info{{"big", "18446744073709551615"},
                                           {"bitrate", "320"},
                                           {"codec", "FLAC"},
                                           {"neg", "-5"}}));
    EXPECT_FALSE(tracks[0].fields.unreadable);
    EXPECT_TRUE(tracks[1].fields.unreadable);
    EXPECT_EQ(tracks[1].fields.meta, (Meta{{"artist", {"Oasis"}}}));
    EXPECT_EQ(tracks[2].path, "twice.flac");
    EXPECT_EQ(tracks[2].fields.meta, (Meta{{"title", {}}}));
}

TEST(LibraryJson, ManyFieldsSortAsFewDo) {
    for (int count : {3, 40}) {
        std::string meta;
        for (int i = count - 1; i >= 0; --i)
            meta += "\"f" + std::to_string(100 + i) + "\": \"v" + std::to_string(i) + "\", ";
        auto tracks = readText("{\"tracks\": [{\"path\": \"a\", \"meta\": {" + meta +
                               "\"f101\": \"last\"}}]}");
        ASSERT_EQ(tracks.size(), 1u);
        const auto& got = tracks[0].fields.meta;
        ASSERT_EQ(got.size(), static_cast<size_t>(count)) << count;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(got[i].first, "f" + std::to_string(100 + i)) << count;
            EXPECT_EQ(got[i].second[0], i == 1 ? "last" : "v" + std::to_string(i)) << count;
        }
    }
}

std::string written(const std::vector<player::TrackRecord>& records) {
    std::string out;
    library::LibraryJsonWriter writer(out);
    for (const auto& r : records)
        writer.add(r);
    writer.finish();
    return out;
}

player::TrackRecord record(const std::string& path, const player::TrackFields& fields) {
    player::TrackRecord r(path, fields);
    r.sortFields();
    return r;
}

TEST(LibraryJson, WriterLaysOutAsNlohmannAndRoundTripsAnyPath) {
    player::TrackFields full;
    full.meta = {{"artist", {"Blur", "Björk \"quoted\""}}, {"title", {"Song\t2"}}, {"none", {}}};
    full.info = {{"bitrate", "320"}};
    player::TrackFields unreadable;
    unreadable.unreadable = true;
    player::TrackFields empty;
    for (const auto& records : std::vector<std::vector<player::TrackRecord>>{
             {}, {record("a/b.flac", full), record("c.mp3", unreadable), record("e", empty)}}) {
        std::string text = written(records);
        EXPECT_EQ(text, nlohmann::json::parse(text).dump(1));
    }

    // Not UTF-8: valid JSON, readable "path", the bytes back from "raw_path".
    std::string raw =
        "Song\xff"
        "2%.wav";
    std::string text = written({record(raw, full)});
    auto doc = nlohmann::json::parse(text);
    EXPECT_EQ(doc["tracks"][0]["path"],
              "Song\xEF\xBF\xBD"
              "2%.wav");
    EXPECT_EQ(doc["tracks"][0]["raw_path"], "Song%FF2%25.wav");
    auto back = readText(text);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].path, raw);
    EXPECT_EQ(back[0].fields.meta.size(), 3u);
}

TEST(LibraryJson, FileErrorsNameTheFile) {
    ScratchDir dir;
    for (const auto& [name, says] : std::vector<std::pair<std::string, std::string>>{
             {"missing.json", "cannot read"}, {"empty.json", "not a library JSON"}}) {
        if (name == "empty.json")
            dir.write(name, "");
        fs::path file = dir.path() / name;
        try {
            library::readLibraryJson(file, [](const player::TrackRecord&) {});
            ADD_FAILURE() << name;
        } catch (const StoreError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(file.string() + ": " + says, 0), 0u) << e.what();
        }
    }
}

}  // namespace
}  // namespace chartloom::testing
