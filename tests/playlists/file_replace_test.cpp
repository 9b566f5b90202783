// Replacing a playlist file: whole or not at all, never through a planted link, keeping what
// the user set on the file.
#include "playlists/file_replace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "tests/support/scratch_dir.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using playlists::replaceFileContents;

mode_t modeOf(const fs::path& p) {
    struct stat info {};
    EXPECT_EQ(::stat(p.c_str(), &info), 0);
    return info.st_mode & 07777;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ReplaceFileContents, NeverFollowsALinkPlantedWhereItWouldWrite) {
    ScratchDir dir;
    fs::path victim = dir.write("victim", "precious");
    fs::path target = dir.write("lists/Mix.m3u8", "old");
    // Links at the first names the writer will try: each must be passed over.
    fs::create_symlink(victim, dir.path() / "lists/.Mix.m3u8.first");
    fs::create_symlink(dir.path() / "absent", dir.path() / "lists/.Mix.m3u8.second");
    std::vector<std::string> names = {"first", "second", "third"};
    size_t next = 0;
    replaceFileContents(target, "new", [&] { return names.at(next++); });
    EXPECT_EQ(ScratchDir::read(target), "new");
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(ScratchDir::read(victim), "precious");
    EXPECT_FALSE(fs::exists(dir.path() / "absent"));
    EXPECT_EQ(namesIn(dir.path() / "lists"),
              (std::vector<std::string>{".Mix.m3u8.first", ".Mix.m3u8.second", "Mix.m3u8"}));
}

TEST(ReplaceFileContents, WritesThroughALinkOnlyWhenLinkAndFileAreTheUsersOwn) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "making files of another user needs root";
    const uid_t other = 65534;
    for (bool linkIsOthers : {true, false}) {
        SCOPED_TRACE(linkIsOthers ? "the link is another user's" : "its file is another user's");
        ScratchDir dir;
        fs::path real = dir.write("elsewhere/Real.m3u8", "theirs");
        fs::path link = dir.path() / "lists/Mix.m3u8";
        fs::create_directories(link.parent_path());
        fs::create_symlink(real, link);
        ASSERT_EQ(linkIsOthers ? ::lchown(link.c_str(), other, other)
                               : ::chown(real.c_str(), other, other),
                  0);
        try {
            replaceFileContents(link, "ours");
            ADD_FAILURE() << "written through";
        } catch (const std::system_error& e) {
            EXPECT_NE(std::string(e.what()).find(link.string() + " is a link to " + real.string()),
                      std::string::npos)
                << e.what();
        }
        EXPECT_EQ(ScratchDir::read(real), "theirs");
        EXPECT_EQ(namesIn(link.parent_path()), std::vector<std::string>{"Mix.m3u8"});
    }
}

TEST(ReplaceFileContents, KeepsTheModeAndWritesThroughALink) {
    ScratchDir dir;
    fs::path real = dir.write("elsewhere/Real.m3u8", "old");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(dir.path() / "lists");
    fs::path link = dir.path() / "lists/Mix.m3u8";
    fs::create_symlink(real, link);

    replaceFileContents(link, "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ScratchDir::read(real), "new");
    EXPECT_EQ(modeOf(real), 0600u);
    EXPECT_EQ(namesIn(dir.path() / "lists"), std::vector<std::string>{"Mix.m3u8"});
    EXPECT_EQ(namesIn(dir.path() / "elsewhere"), std::vector<std::string>{"Real.m3u8"});
}

TEST(ReplaceFileContents, AFailureNamesTheTargetAndLeavesNothingBehind) {
    ScratchDir dir;
    fs::path target = dir.path() / "lists/Mix.m3u8";
    fs::create_directories(target / "in the way");
    try {
        replaceFileContents(target, "new");
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_NE(std::string(e.what()).find(target.string()), std::string::npos) << e.what();
    }
    EXPECT_EQ(namesIn(dir.path() / "lists"), std::vector<std::string>{"Mix.m3u8"});
    EXPECT_TRUE(fs::is_directory(target / "in the way"));
}

}  // namespace
}  // namespace chartloom::testing
