// A reference host with the real plug-in loaded, for tests. Fails the test if the plug-in
// misused the host in any way.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "player/host.h"

namespace testing_support {

inline std::string pluginPath() {
    const char* p = std::getenv("CHARTLOOM_PLUGIN");
    return p ? p : "foo_chartloom.so";
}

// Tag fields in the shape tests write them: {"artist", {"Blur"}}, {"title", {"Song 2"}}.
inline player::TrackFields fields(
    std::vector<std::pair<std::string, std::vector<std::string>>> meta,
    std::vector<std::pair<std::string, std::string>> info = {}) {
    player::TrackFields f;
    f.meta = std::move(meta);
    f.info = std::move(info);
    return f;
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override { host->loadPlugin(pluginPath()); }
    void TearDown() override {
        EXPECT_TRUE(host->violations().list().empty())
            << "the plug-in misused the host: "
            << testing::PrintToString(host->violations().list());
    }

    player::Track& track(const std::string& path,
                         std::vector<std::pair<std::string, std::vector<std::string>>> meta,
                         std::vector<std::pair<std::string, std::string>> info = {}) {
        return host->addTrack(path, fields(std::move(meta), std::move(info)));
    }
    // A track of `artist` titled `title`.
    player::Track& song(const std::string& artist, const std::string& title,
                        const std::string& plays = "", const std::string& bitrate = "") {
        std::vector<std::pair<std::string, std::vector<std::string>>> meta = {{"artist", {artist}},
                                                                              {"title", {title}}};
        if (!plays.empty())
            meta.push_back({"PLAY_COUNTER", {plays}});
        std::vector<std::pair<std::string, std::string>> info;
        if (!bitrate.empty())
            info.push_back({"bitrate", bitrate});
        return host->addTrack(artist + "/" + title + ".flac", fields(std::move(meta), info));
    }

    std::unique_ptr<player::Host> host = std::make_unique<player::Host>();
};

}  // namespace testing_support
