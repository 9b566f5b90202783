// The command line and the configuration file, in-process: which options a command line and a
// file give, or the exact text of the refusal.
#include "cli/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "cli/usage_error.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scratch_dir.h"

namespace chartloom::cli {
namespace {

using testing::ScopedEnvVar;
using testing::ScratchDir;

class CommandLineTest : public ::testing::Test {
protected:
    ScratchDir dir;
    ScopedEnvVar home{"HOME", dir.path().string()};
    ScopedEnvVar xdg{"XDG_CONFIG_HOME", std::nullopt};

    std::string config() const { return (dir.path() / ".config/chartloom/config.toml").string(); }
    void writeConfig(const std::string& text) const { testing::writeFile(config(), text); }
    // The refusal's text, or "" when the line parses.
    static std::string refusal(const std::vector<std::string>& args) {
        try {
            parseCommandLine(args);
            return "";
        } catch (const UsageError& e) {
            return e.what();
        }
    }
};

TEST_F(CommandLineTest, OptionsComeFromTheCommandLineOverTheFile) {
    writeConfig(
        "library = \"~/Music\"\ncharts = \"lastfm\"\napi-key = \"k\"\nmatch = \"loose\"\n"
        "[run]\nabsolute-paths = true\nselect = [\"artist=Blur\", \"all\"]\nmax-age = 2\n"
        "[menu]\njson = true\n"
        "[serve]\nport = 7390\nlastfm = true\n");
    std::string music = (dir.path() / "Music").string();
    struct Case {
        std::vector<std::string> args;
        std::function<void(const CommandLine&)> check;
    } cases[] = {
        {{"run", "Artist Charts Playlist"},
         [&](const CommandLine& l) {
             EXPECT_EQ(l.command, Command::run);
             EXPECT_EQ(l.item, "Artist Charts Playlist");
             EXPECT_EQ(l.session.library, music);  // "~" expanded
             EXPECT_EQ(l.session.charts, "lastfm");
             EXPECT_EQ(l.session.lastfm.apiKey, "k");
             EXPECT_TRUE(l.session.absolutePaths);
             EXPECT_FALSE(l.session.json);  // [menu] is not run's
             EXPECT_EQ(l.session.select, (std::vector<std::string>{"artist=Blur", "all"}));
             EXPECT_EQ(l.session.lastfm.maxAgeDays, 2);
             EXPECT_EQ(l.session.match, MatchMode::loose);
             EXPECT_EQ(l.session.lastfm.match, MatchMode::loose);  // for the charts run serves
         }},
        {{"run", "x", "--library", "/elsewhere", "--select", "pos=1", "--max-age", "0", "--match",
          "exact"},
         [](const CommandLine& l) {
             EXPECT_EQ(l.session.match, MatchMode::exact);
             EXPECT_EQ(l.session.library, "/elsewhere");
             EXPECT_EQ(l.session.select, std::vector<std::string>{"pos=1"});
             EXPECT_EQ(l.session.lastfm.maxAgeDays, 0);
         }},
        {{"menu"}, [](const CommandLine& l) { EXPECT_TRUE(l.session.json); }},
        {{"serve"},
         [](const CommandLine& l) {
             EXPECT_EQ(l.serve.port, 7390);
             EXPECT_TRUE(l.serve.lastfm);
             EXPECT_EQ(l.serve.live.apiKey, "k");
             EXPECT_EQ(l.serve.live.match, MatchMode::loose);
         }},
        {{"run", "x", "--mpd"},
         [](const CommandLine& l) {
             EXPECT_EQ(l.session.mpd, "");
             EXPECT_EQ(l.session.library, "");  // MPD is the library
         }},
        {{"menu", "--mpd=music.lan:6600"},
         [](const CommandLine& l) { EXPECT_EQ(l.session.mpd, "music.lan:6600"); }},
        {{"scan", "/music", "--index", "/i"},
         [](const CommandLine& l) {
             EXPECT_EQ(l.scanFolder, "/music");
             EXPECT_EQ(l.scanIndex, "/i");
         }},
        {{"config"},
         [&](const CommandLine& l) {
             EXPECT_EQ(l.command, Command::config);
             EXPECT_TRUE(l.config.exists);
             EXPECT_FALSE(l.configGiven);
         }},
        {{"--version"}, [](const CommandLine& l) { EXPECT_EQ(l.text, "chartloom 0.2.3\n"); }},
        {{"run", "--help"},
         [](const CommandLine& l) {
             EXPECT_EQ(l.command, Command::help);
             EXPECT_THAT(l.text, ::testing::HasSubstr("Usage: chartloom run [OPTIONS] item"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        c.check(parseCommandLine(c.args));
    }
}

TEST_F(CommandLineTest, RefusalsSayExactlyWhatIsWrong) {
    struct Case {
        std::string file;  // the configuration; "" for none
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {"",
         {"runn", "x"},
         "\"runn\" is not a command; did you mean \"run\"? (see chartloom --help)"},
        {"",
         {"menu", "--library", "l", "--no-play"},
         "The following argument was not expected: --no-play (see chartloom menu --help)"},
        {"",
         {"menu"},
         "--library is required: a music folder, a library index or a library JSON file (or set "
         "library in " +
             config() + "), or --mpd for a running MPD"},
        {"",
         {"run", "--mpd", "Artist Charts Playlist", "--select", "all"},
         "--mpd took \"Artist Charts Playlist\" for MPD's address: put the item before --mpd, or "
         "write --mpd=ADDRESS"},
        {"",
         {"run", "x", "--mpd", "--library", "l"},
         "--mpd and --library exclude each other: MPD's database is the library and its stored "
         "playlists and queue are the playlists"},
        {"",
         {"missing", "--library", "l", "--match", "fuzzy"},
         "--match: fuzzy not in {exact,loose} (see chartloom missing --help)"},
        {"library = \"l\"\nlibary = \"x\"\n",
         {"menu"},
         config() +
             ":2:1: \"libary\" is not an option at the top level (options every command shares); "
             "did you mean \"library\"?"},
        {"library = 5\n",
         {"menu"},
         config() + ":1:1: library takes text in quotes, not an integer"},
        {"[run]\nabsolute-paths = \"yes\"\n",
         {"menu", "--library", "l"},
         config() + ":2:1: absolute-paths takes true or false, not text"},
        {"[serve]\nprot = 7\n",
         {"menu", "--library", "l"},
         config() + ":2:1: \"prot\" is not an option in [serve]; did you mean \"port\"?"},
        {"[serve]\nport = 70000\n",
         {"serve"},
         config() + ":2:1: --port: Value 70000 not in range 0 to 65535"},
        {"[srve]\nport = 1\n",
         {"menu", "--library", "l"},
         config() + ":2:1: [srve] is not a command; did you mean \"serve\"?"},
        {"library = \"unterminated\n",
         {"menu"},
         config() + ":1:24: Error while parsing string: unescaped control characters other than "
                    "TAB (U+0009) are explicitly prohibited"},
        {"[run.deeper]\nx = 1\n", {"menu"}, config() + ":1:6: [run.deeper]: sections do not nest"},
        {"", {"menu", "--config", "/nowhere.toml"}, "/nowhere.toml: no such file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + " with " + c.file);
        std::filesystem::remove(config());
        if (!c.file.empty())
            writeConfig(c.file);
        EXPECT_EQ(refusal(c.args), c.says);
    }
}

TEST_F(CommandLineTest, OnlyARegularFileOfAtMostOneMebibyteIsRead) {
    writeConfig("\xEF\xBB\xBFlibrary = \"$HOME/m\"\n");  // a byte order mark is fine
    EXPECT_EQ(parseCommandLine({"menu"}).session.library, (dir.path() / "m").string());

    std::filesystem::remove(config());
    ASSERT_EQ(::mkfifo(config().c_str(), 0600), 0);  // would block a reader for ever
    EXPECT_EQ(refusal({"menu"}), config() + ": not a regular file, so not read as a configuration");

    std::filesystem::remove(config());
    std::filesystem::create_symlink("/dev/zero", config());
    EXPECT_EQ(refusal({"menu"}), config() + ": not a regular file, so not read as a configuration");

    std::filesystem::remove(config());
    writeConfig("# " + std::string(kMaxConfigBytes, 'x') + "\n");
    EXPECT_EQ(refusal({"menu"}), config() + ": larger than 1 MiB, so not a configuration");
}

}  // namespace
}  // namespace chartloom::cli
