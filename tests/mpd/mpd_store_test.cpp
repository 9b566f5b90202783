// MPD as the host's library and playlist store, against a real MPD on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <thread>

#include "mpd/mpd_address.h"
#include "mpd/mpd_library.h"
#include "mpd/mpd_playlists.h"
#include "tests/support/mpd_daemon.h"
#include "tests/support/mpd_test_music.h"
#include "tests/support/scratch_dir.h"
#include "toolbase/store_error.h"
#include "toolbase/unique_fd.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using mpd::MpdAddress;
using mpd::MpdConnection;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(MpdAddress, FromTheOptionOrTheEnvironmentAsMpdsClientsReadThem) {
    struct Case {
        std::optional<std::string> given;
        const char* envHost;
        const char* envPort;
        std::string host;
        unsigned port;
        std::string password;
        std::string text;
    };
    std::vector<Case> cases = {
        {std::nullopt, nullptr, nullptr, "localhost", 6600, "", "localhost:6600"},
        {"", nullptr, nullptr, "localhost", 6600, "", "localhost:6600"},
        {"music.lan", nullptr, nullptr, "music.lan", 6600, "", "music.lan:6600"},
        {"music.lan:6601", "other", "7000", "music.lan", 6601, "", "music.lan:6601"},
        {"pw@music.lan:6601", nullptr, nullptr, "music.lan", 6601, "pw", "music.lan:6601"},
        {"a@b@host", nullptr, nullptr, "host", 6600, "a@b", "host:6600"},
        {"/run/mpd/socket", nullptr, nullptr, "/run/mpd/socket", 6600, "", "/run/mpd/socket"},
        {"pw@/run/mpd/socket", nullptr, nullptr, "/run/mpd/socket", 6600, "pw", "/run/mpd/socket"},
        {"@abstract", nullptr, nullptr, "@abstract", 6600, "", "@abstract"},
        {"::1", nullptr, nullptr, "::1", 6600, "", "[::1]:6600"},
        {"[::1]:6602", nullptr, nullptr, "::1", 6602, "", "[::1]:6602"},
        {std::nullopt, "secret@10.0.0.2", "6700", "10.0.0.2", 6700, "secret", "10.0.0.2:6700"},
        {std::nullopt, "/tmp/mpd.sock", "6700", "/tmp/mpd.sock", 6600, "", "/tmp/mpd.sock"},
        {std::nullopt, "", "6601", "localhost", 6601, "", "localhost:6601"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given.value_or("(none)") + " / " + (c.envHost ? c.envHost : "(unset)"));
        MpdAddress a = mpd::resolveMpdAddress(c.given, c.envHost, c.envPort);
        EXPECT_EQ(a.host, c.host);
        EXPECT_EQ(a.port, c.port);
        EXPECT_EQ(a.password, c.password);
        EXPECT_EQ(a.text(), c.text);
    }
    for (const char* bad : {"host:0", "host:65536", "host:x", "[::1", "[::1]6600"}) {
        EXPECT_THROW(mpd::resolveMpdAddress(std::string(bad), nullptr, nullptr), StoreError) << bad;
    }
    EXPECT_THROW(mpd::resolveMpdAddress(std::nullopt, "host", "port"), StoreError);
}

class MpdStore : public ::testing::Test {
protected:
    MpdStore() {
        writeTestMusic(dir.path() / "music");
        mpd = std::make_unique<MpdDaemon>(dir.path() / "music");
        mpd->command("sticker set song \"Blur/Song 2.flac\" playcount 1");
        mpd->command("sticker set song \"loose.flac\" playcount 9");
    }
    MpdAddress address() const { return mpd::resolveMpdAddress(mpd->address(), {}, {}); }
    // What a command would start from: the library, then the queue and the stored playlists.
    void load(player::Host& host, std::vector<mpd::MpdPlaylist>& before) {
        MpdConnection c(address());
        std::vector<std::string> notes;
        mpd::loadMpdLibrary(
            c, [&](const player::TrackRecord& r) { host.addTrack(r); }, notes);
        EXPECT_TRUE(notes.empty()) << notes.front();
        before = mpd::readMpdPlaylists(c);
        mpd::addMpdPlaylists(host, before);
    }
    void writePlaylistFile(const std::string& name, const std::string& lines) {
        writeFile(mpd->playlistFolder() / (name + ".m3u"), lines);
    }
    std::vector<std::string> stored(const std::string& name) {
        return mpd->values("listplaylist " + MpdDaemon::quote(name), "file");
    }

    ScratchDir dir;
    std::unique_ptr<MpdDaemon> mpd;
};

TEST_F(MpdStore, LibraryHasEverySongOnceWithAllTagValuesAndPlayCounts) {
    MpdConnection c(address());
    EXPECT_EQ(mpd::mpdSongCount(c), testSongs().size());
    std::map<std::string, player::TrackFields> tracks;
    std::vector<std::string> notes;
    // A window smaller than the database: the songs come in several answers.
    mpd::loadMpdLibrary(
        c,
        [&](const player::TrackRecord& r) {
            EXPECT_TRUE(tracks.emplace(r.path(), player::TrackFields{}).second) << r.path();
            for (size_t f = 0; f < r.metaCount(); ++f) {
                std::vector<std::string> values;
                for (size_t n = 0; n < r.valueCount(f); ++n)
                    values.emplace_back(r.value(f, n));
                tracks[std::string(r.path())].meta.emplace_back(r.metaName(f), values);
            }
        },
        notes, 3);
    EXPECT_TRUE(notes.empty());
    ASSERT_EQ(tracks.size(), testSongs().size());
    using Meta = std::vector<std::pair<std::string, std::vector<std::string>>>;
    EXPECT_EQ(tracks["Blur/Song 2.flac"].meta, (Meta{{"Album", {"Blur"}},
                                                     {"PLAY_COUNTER", {"1"}},
                                                     {"artist", {"Blur"}},
                                                     {"title", {"Song 2"}}}));
    EXPECT_EQ(tracks["Duets/Under Pressure.flac"].meta,
              (Meta{{"artist", {"Queen", "David Bowie"}}, {"title", {"Under Pressure"}}}));
    EXPECT_EQ(tracks[kOddUri].meta,
              (Meta{{"artist", {"Sigur R\xC3\xB3s"}}, {"title", {"Hopp\xC3\xADpolla"}}}));
    EXPECT_EQ(tracks["loose.flac"].meta,
              (Meta{{"PLAY_COUNTER", {"9"}}, {"artist", {"Blur"}}, {"title", {"Song 2"}}}));
}

TEST_F(MpdStore, QueueComesFirstAndEntriesMpdDoesNotKnowAreKept) {
    writePlaylistFile("Mix", "Oasis/Wonderwall.flac\ngone/missing.flac\nBlur/Tender.flac\n");
    mpd->command("add \"Blur/Parklife.flac\"");
    player::Host host;
    std::vector<mpd::MpdPlaylist> before;
    load(host, before);
    const auto& all = host.playlists().all();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].name, "Queue");
    EXPECT_TRUE(before[0].queue);
    EXPECT_EQ(all[1].name, "Mix");
    std::vector<std::string> mix;
    for (const auto& item : all[1].items)
        mix.emplace_back(item.track->path());
    EXPECT_THAT(mix, ElementsAre("Oasis/Wonderwall.flac", "gone/missing.flac", "Blur/Tender.flac"));
    EXPECT_TRUE(static_cast<player::Track*>(all[1].items[1].track.get())->unreadable());
    EXPECT_EQ(host.findTrack("Blur/Tender.flac"), all[1].items[2].track.get());
}

TEST_F(MpdStore, WritesWhatChangedAndLeavesWhatChangedInMpdMeanwhile) {
    writePlaylistFile("Mix", "Oasis/Wonderwall.flac\ngone/missing.flac\nBlur/Tender.flac\n");
    writePlaylistFile("Keep", "Blur/Tender.flac\n");
    writePlaylistFile("Other", "Blur/Tender.flac\n");
    writePlaylistFile("Sorted", "Blur/Tender.flac\nBlur/Song 2.flac\n");
    mpd->command("add \"Blur/Parklife.flac\"");
    mpd->command("add \"Oasis/Wonderwall.flac\"");
    player::Host host;
    std::vector<mpd::MpdPlaylist> before;
    load(host, before);
    auto& all = host.playlists().all();
    auto index = [&](const std::string& name) { return host.playlists().findByName(name); };
    auto item = [&](const std::string& path) {
        return player::PlaylistItem{service_ptr<metadb_handle>(host.findTrack(path)), false};
    };
    auto& mix = all[index("Mix")].items;
    std::reverse(mix.begin(), mix.end());  // an entry MPD cannot add again: moved in place
    auto& sorted = all[index("Sorted")].items;
    std::reverse(sorted.begin(), sorted.end());  // all known: rebuilt and put in place
    std::reverse(all[0].items.begin(), all[0].items.end());
    all[index("Other")].items.push_back(item("Oasis/Wonderwall.flac"));
    player::Playlist made{"#ArtistCharts", {item(kOddUri), item("loose.flac")}, none, {}};
    all.push_back(made);
    // Another client changes Other while the command runs.
    writePlaylistFile("Other", "Blur/Parklife.flac\n");

    MpdConnection c(address());
    std::vector<size_t> leftAlone;
    playlists::WriteOutcome outcome = mpd::writeChangedMpdPlaylists(c, before, host, leftAlone);
    std::sort(outcome.written.begin(), outcome.written.end());
    EXPECT_THAT(outcome.written, ElementsAre("#ArtistCharts", "Mix", "Queue", "Sorted"));
    ASSERT_EQ(outcome.conflicts.size(), 1u);
    EXPECT_THAT(outcome.conflicts[0], HasSubstr("\"Other\" changed in MPD at " + mpd->address()));
    EXPECT_THAT(leftAlone, ElementsAre(index("Other")));

    EXPECT_THAT(stored("Mix"),
                ElementsAre("Blur/Tender.flac", "gone/missing.flac", "Oasis/Wonderwall.flac"));
    EXPECT_THAT(stored("Sorted"), ElementsAre("Blur/Song 2.flac", "Blur/Tender.flac"));
    EXPECT_THAT(stored("#ArtistCharts"), ElementsAre(kOddUri, "loose.flac"));
    EXPECT_THAT(stored("Other"), ElementsAre("Blur/Parklife.flac"));
    EXPECT_THAT(mpd->values("playlistinfo", "file"),
                ElementsAre("Oasis/Wonderwall.flac", "Blur/Parklife.flac"));
    std::vector<std::string> names = mpd->values("listplaylists", "playlist");
    std::sort(names.begin(), names.end());
    EXPECT_THAT(names, ElementsAre("#ArtistCharts", "Keep", "Mix", "Other", "Sorted"));
}

TEST(MpdBigAnswers, AnswersOverMpdsOutputCapComeInSmallerPieces) {
    // 300 songs of about 1.2 kB and play counts of about 170 bytes against MPD's 16 KiB of
    // buffer plus 8 KiB of cap: the whole database and all play counts are too big for one
    // answer, a tenth of them is not.
    ScratchDir dir;
    std::vector<std::pair<std::string, std::string>> counts;
    const std::string longName(120, 'n');
    for (int s = 0; s < 300; ++s) {
        std::string uri = s < 2 ? "top " + std::to_string(s) + ".flac"
                                : "Folder " + std::to_string(s % 10) + "/" + longName + " " +
                                      std::to_string(s) + ".flac";
        writeFlac(dir.path() / "music" / uri,
                  {{"TITLE", std::to_string(s)}, {"ALBUM", std::string(1000, 'a')}},
                  std::chrono::milliseconds(100));
        counts.emplace_back(uri, std::to_string(s));
    }
    MpdDaemon mpd(dir.path() / "music", {{}, {}, 8});
    mpd.setPlayCounts(counts);

    MpdConnection c(mpd::resolveMpdAddress(mpd.address(), {}, {}));
    std::map<std::string, std::string> loaded;
    std::vector<std::string> notes;
    mpd::loadMpdLibrary(
        c,
        [&](const player::TrackRecord& r) {
            std::string count;
            for (size_t f = 0; f < r.metaCount(); ++f) {
                if (r.metaName(f) == "PLAY_COUNTER")
                    count = r.value(f, 0);
            }
            EXPECT_TRUE(loaded.emplace(r.path(), count).second) << r.path();
        },
        notes);
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(loaded, (std::map<std::string, std::string>(counts.begin(), counts.end())));
    EXPECT_THAT(ScratchDir::read(mpd.logFile()), HasSubstr("Output buffer is full"));
}

// A server that greets as MPD does and answers each command line with what `answer` gives:
// a text, then a line repeated until the client hangs up (empty: none). A real MPD cannot be
// made to answer without end, which is the fault under test.
class HostileMpd {
public:
    using Answer = std::function<std::pair<std::string, std::string>(const std::string&)>;
    explicit HostileMpd(Answer answer) : answer_(std::move(answer)) {
        listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&a), size) != 0 ||
            ::listen(listener_.get(), 4) != 0 ||
            ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&a), &size) != 0)
            throw std::runtime_error("cannot listen");
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~HostileMpd() {
        ::shutdown(listener_.get(), SHUT_RDWR);
        thread_.join();
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    void serve() {
        for (;;) {
            UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!client)
                return;
            FILE* in = ::fdopen(::dup(client.get()), "r");
            auto send = [&](const std::string& text) {
                return ::send(client.get(), text.data(), text.size(), MSG_NOSIGNAL) ==
                       static_cast<ssize_t>(text.size());
            };
            send("OK MPD 0.23.5\n");
            char line[4096];
            while (std::fgets(line, sizeof line, in)) {
                auto [text, forever] = answer_(std::string(line, std::strcspn(line, "\n")));
                bool open = send(text);
                while (open && !forever.empty())
                    open = send(forever);
            }
            std::fclose(in);
        }
    }

    Answer answer_;
    UniqueFd listener_;
    uint16_t port_ = 0;
    std::thread thread_;
};

TEST(MpdHostile, AnAnswerWithoutEndIsReadOnlyAsFarAsTheQuestionReaches) {
    struct Case {
        const char* name;
        const char* endless;  // the command answered without end
        std::string line;     // repeated
        const char* says;
    } cases[] = {
        {"songs", "find", "file: a.flac\nTitle: t\n", "while reading the database"},
        {"tags of one song", "find", "Title: t\n", "while reading the database"},
        {"play counts", "sticker", "file: a.flac\nsticker: playcount=1\n",
         "while reading play counts"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostileMpd server([&](const std::string& command) -> std::pair<std::string, std::string> {
            if (command.starts_with(c.endless))
                return {command.starts_with("find") ? "file: first.flac\n" : "", c.line};
            if (command == "stats")
                return {"songs: 10\nOK\n", ""};
            return {"OK\n", ""};
        });
        MpdConnection mpd(mpd::resolveMpdAddress(server.address(), {}, {}));
        std::vector<std::string> notes;
        size_t songs = 0;
        try {
            mpd::loadMpdLibrary(
                mpd, [&](const player::TrackRecord&) { ++songs; }, notes, 100);
            ADD_FAILURE() << "read to the end of an endless answer";
        } catch (const StoreError& e) {
            EXPECT_THAT(e.what(), HasSubstr("MPD at " + server.address() +
                                            " answered more than was asked for " + c.says));
        }
        EXPECT_LE(songs, 100u);
    }
}

TEST(MpdConnect, NoMpdThereIsAStoreErrorNamingTheAddress) {
    // A port that was free a moment ago.
    ScratchDir dir;
    writeFlac(dir.path() / "music" / "a.flac", {{"TITLE", "a"}});
    std::string address;
    {
        MpdDaemon gone(dir.path() / "music");
        address = gone.address();
    }
    try {
        MpdConnection c(mpd::resolveMpdAddress(address, {}, {}));
        FAIL() << "connected to " << address;
    } catch (const StoreError& e) {
        EXPECT_THAT(e.what(), HasSubstr("cannot connect to MPD at " + address));
    }
}

}  // namespace
}  // namespace chartloom::testing
