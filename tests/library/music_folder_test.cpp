// Finding the audio files of a music folder.
#include <gtest/gtest.h>

#include <algorithm>

#include "library/music_folder.h"
#include "tests/support/scratch_dir.h"
#include "toolbase/store_error.h"

namespace chartloom::testing {
namespace fs = std::filesystem;
namespace {

TEST(MusicFolder, ListsAudioPartByPartAndReportsEachProblemOnce) {
    ScratchDir dir;
    fs::path music = dir.path() / "music";
    for (const char* name : {"a b/x.mp3", "a/x.FLAC", "a/notes.txt", "a/b/y.ogg", "z.wav",
                             "new\nline.wav", "folder\nname/in.mp3",
                             "Song\xff"
                             "2.wav"}) {
        dir.write(std::string("music/") + name, "x");
    }
    fs::create_symlink("loop2.mp3", music / "loop1.mp3");
    fs::create_symlink("loop1.mp3", music / "loop2.mp3");
    fs::create_symlink("nowhere.mp3", music / "dangling.mp3");
    fs::create_symlink("z.wav", music / "link.wav");
    fs::create_directory_symlink(music / "a", music / "c");  // a folder link: not followed
    fs::create_directory_symlink(music, music / "a" / "self");

    std::vector<std::string> problems;
    std::vector<std::string> paths;
    for (const auto& f :
         library::listAudioFiles(music, [&](const std::string& p) { problems.push_back(p); })) {
        paths.push_back(library::pathOfKey(f.key));
        EXPECT_EQ(library::keyOfPath(paths.back()), f.key);
        EXPECT_EQ(f.stamp.size, 1);
    }
    // Part by part, as paths compare: "a" before "a b".
    EXPECT_EQ(paths, (std::vector<std::string>{"Song\xff"
                                               "2.wav",
                                               "a/b/y.ogg", "a/x.FLAC", "a b/x.mp3", "link.wav",
                                               "z.wav"}));
    std::sort(problems.begin(), problems.end());
    std::string at = music.string() + "/";
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "\"" + at +
                                "folder\\nname/in.mp3\": left out: a line break in a path would "
                                "split its playlist entry",
                            "\"" + at +
                                "new\\nline.wav\": left out: a line break in a path would split "
                                "its playlist entry",
                            at + "loop1.mp3: a loop of symbolic links",
                            at + "loop2.mp3: a loop of symbolic links"}));
}

TEST(MusicFolder, AFolderThatIsNoFolderIsAnError) {
    ScratchDir dir;
    fs::path file = dir.write("file.txt", "x");
    for (const fs::path& p : {file, dir.path() / "missing"})
        EXPECT_THROW(library::listAudioFiles(p, {}), StoreError) << p;
}

}  // namespace
}  // namespace chartloom::testing
