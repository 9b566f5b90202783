// The reference host's own behaviour, and its strictness towards plug-ins.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "player/host.h"
#include "tests/support/host_fixture.h"

namespace {

using player::Host;
using testing_support::fields;

class StrictHost : public testing::Test {
protected:
    StrictHost() { host.violations().setQuiet(true); }
    Host host;
    player::Track& blur =
        host.addTrack("Blur/Song 2.flac",
                      fields({{"artist", {"Blur"}}, {"title", {"Song 2"}}}, {{"bitrate", "320"}}));
};

TEST_F(StrictHost, TrackInfoReadWithoutLockIsReported) {
    const TrackInfo* info = nullptr;
    ASSERT_TRUE(blur.readInfo(info));
    auto v = host.violations().take();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_NE(v[0].find("readInfo without the TrackDatabase lock"), std::string::npos) << v[0];

    host.database().lock();
    ASSERT_TRUE(blur.readInfo(info));
    size_t title = info->findMeta("title");
    host.database().unlock();
    EXPECT_TRUE(host.violations().take().empty());
    // Keeping the record past the unlock is caught too.
    EXPECT_STREQ(info->metaValue(title, 0), "Song 2");
    EXPECT_EQ(host.violations().take().size(), 1u);
}

TEST_F(StrictHost, LockIsPerThreadAndRecursive) {
    host.database().lock();
    host.database().lock();
    host.database().unlock();
    EXPECT_TRUE(host.database().heldByCurrentThread());
    std::thread other([&] {
        EXPECT_FALSE(host.database().heldByCurrentThread());
        host.database().unlock();  // not the holder
    });
    other.join();
    host.database().unlock();
    EXPECT_FALSE(host.database().heldByCurrentThread());
    EXPECT_EQ(host.violations().take().size(), 1u);
}

TEST_F(StrictHost, OverReleaseIsReportedAndHarmless) {
    blur.service_add_ref();
    EXPECT_EQ(blur.service_release(), 0);
    EXPECT_EQ(blur.service_release(), 0);
    EXPECT_EQ(host.violations().take().size(), 1u);
    EXPECT_STREQ(blur.path(), "Blur/Song 2.flac");
}

TEST_F(StrictHost, PlaylistCallsOffTheMainThreadAreReported) {
    std::thread other([&] { host.playlists().playlistCount(); });
    other.join();
    auto v = host.violations().take();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_NE(v[0].find("playlistCount called off the main thread"), std::string::npos);
}

TEST_F(StrictHost, ALibraryBuiltOnAnotherThreadReplacesTheOldOne) {
    Host::LibraryBuild build = host.newLibrary();
    std::thread loader([&] {
        build.addTrack(player::TrackRecord(
            "Pulp/Disco 2000.flac", fields({{"artist", {"Pulp"}}, {"title", {"Disco 2000"}}})));
    });
    loader.join();
    player::Track& stray = host.addStrayTrack("stray.flac");
    stray.service_add_ref();  // a reference the plug-in never gave back
    host.replaceLibrary(std::move(build));
    ASSERT_EQ(host.libraryTracks().size(), 1u);
    EXPECT_STREQ(host.libraryTracks()[0]->path(), "Pulp/Disco 2000.flac");
    EXPECT_EQ(host.findTrack("Pulp/Disco 2000.flac"), host.libraryTracks()[0]);
    EXPECT_EQ(host.findTrack("Blur/Song 2.flac"), nullptr);
    EXPECT_EQ(host.findTrack("stray.flac"), nullptr);
    // The referenced track outlives the replacement, and the misuse is told.
    EXPECT_STREQ(stray.path(), "stray.flac");
    auto v = host.violations().take();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_NE(v[0].find("replaceLibrary while 1 tracks are still referenced"), std::string::npos);
    stray.service_release();
}

// Builds playlist "p" from the given tracks.
size_t makePlaylist(Host& host, const std::vector<player::Track*>& tracks) {
    auto& store = host.playlists();
    size_t p = store.createPlaylist("p", none, none);
    metadb_handle_list list;
    for (auto* t : tracks)
        list.append(t);
    store.insertItems(p, none, list, bit_array_false());
    return p;
}

TEST_F(StrictHost, ReorderMustFitThePlaylist) {
    auto& b = host.addStrayTrack("b");
    auto& c = host.addStrayTrack("c");
    size_t p = makePlaylist(host, {&blur, &b, &c});
    auto& store = host.playlists();
    store.setFocusItem(p, 0);

    const size_t shortOrder[] = {1, 0};
    EXPECT_FALSE(store.reorderItems(p, shortOrder, 2));
    const size_t notPermutation[] = {0, 0, 2};
    EXPECT_FALSE(store.reorderItems(p, notPermutation, 3));
    EXPECT_EQ(host.violations().take().size(), 2u);
    EXPECT_EQ(store.all()[p].items[0].track.get(), &blur);

    const size_t rotate[] = {2, 0, 1};
    EXPECT_TRUE(store.reorderItems(p, rotate, 3));
    EXPECT_EQ(store.all()[p].items[0].track.get(), &c);
    EXPECT_EQ(store.all()[p].focus, 1u);  // focus follows its item
}

TEST_F(StrictHost, PlaylistEditsKeepFocusAndUndo) {
    auto& b = host.addStrayTrack("b");
    size_t p = makePlaylist(host, {&blur, &b});
    auto& store = host.playlists();
    store.setFocusItem(p, 1);
    store.saveUndoState(p);
    store.removeItems(p, bit_array_range(0, 1));
    EXPECT_EQ(store.all()[p].focus, 0u);
    EXPECT_EQ(store.itemCount(p), 1u);
    EXPECT_TRUE(store.undo(p));
    EXPECT_EQ(store.itemCount(p), 2u);
    EXPECT_FALSE(store.undo(p));

    size_t q = store.createPlaylist("first", none, 0);
    EXPECT_EQ(q, 0u);
    EXPECT_EQ(store.all()[1].name, "p");
    EXPECT_TRUE(host.violations().list().empty());
}

TEST(HostPlugins, RefusesAWrongInterfaceVersion) {
    Host host;
    try {
        host.loadPlugin(WRONG_VERSION_PLUGIN);
        FAIL() << "loaded";
    } catch (const player::PluginError& e) {
        EXPECT_NE(std::string(e.what()).find("interface version 71"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(host.pluginCount(), 0u);
    EXPECT_TRUE(host.contextMenu({}, Host::caller_other).empty());
}

TEST(HostPlugins, MissingFileSaysWhich) {
    Host host;
    try {
        host.loadPlugin("/nonexistent/foo.so");
        FAIL() << "loaded";
    } catch (const player::PluginError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/foo.so"), std::string::npos);
    }
}

TEST(HostPlugins, ServicesAreFoundByClass) {
    Host host;
    host.loadPlugin(testing_support::pluginPath());
    HostApi& api = host.api();
    for (GUID cls :
         {TaskRunner::class_guid, PlaylistService::class_guid, LibraryService::class_guid,
          TrackDatabase::class_guid, PopupService::class_guid, PlaybackService::class_guid,
          contextmenu_item::class_guid}) {
        service_class_ref ref = api.findServiceClass(cls);
        ASSERT_NE(ref, 0u);
        EXPECT_EQ(api.serviceCount(ref), 1u);
        service_base* s = nullptr;
        EXPECT_TRUE(api.createService(ref, 0, s));
        EXPECT_FALSE(api.createService(ref, 1, s));
    }
    EXPECT_EQ(api.findServiceClass(parseGuid("{00000000-0000-0000-0000-000000000001}")), 0u);
}

}  // namespace
