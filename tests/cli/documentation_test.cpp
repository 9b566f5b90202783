// The man page and the shell completion as built, against the option table and a plain bash.
#include "cli/documentation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "cli/command_line.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace chartloom::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::set<std::string> optionsIn(const std::string& text) {
    std::set<std::string> names;
    std::regex option("--[a-z][a-z-]*");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it)
        names.insert(it->str());
    return names;
}

TEST(Documentation, TheManPageNamesEveryOptionOfHelp) {
    std::string page = ScratchDir::read(CHARTLOOM_MAN_PAGE);
    ASSERT_THAT(page, HasSubstr(".TH CHARTLOOM 1"));
    EXPECT_THAT(page, Not(HasSubstr("@OPTIONS@")));
    for (const char* command :
         {"", "menu", "run", "follow", "serve", "scan", "demo", "undo", "playlists", "config"}) {
        std::vector<std::string> args = {"--help"};
        if (*command)
            args.insert(args.begin(), command);
        std::string help = cli::parseCommandLine(args).text;
        for (std::string name : optionsIn(help)) {
            std::string escaped = std::regex_replace(name, std::regex("-"), "\\-");
            EXPECT_THAT(page, HasSubstr("\\fB" + escaped + "\\fR")) << command << " " << name;
        }
    }
}

// `line` typed up to the cursor, a tab pressed: the words bash would offer.
std::string complete(const std::string& line, const std::string& path) {
    std::string script = "source " + std::string(CHARTLOOM_COMPLETION) +
                         "\nread -ra COMP_WORDS <<< \"$LINE\"\n"
                         "[[ $LINE == *' ' ]] && COMP_WORDS+=('')\n"
                         "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                         "_chartloom\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
    ChildOptions options;
    options.env = {{"LINE", line}, {"PATH", path}};
    ChildResult r = runChild("/bin/bash", {"--norc", "--noprofile", "-c", script}, options);
    EXPECT_EQ(r.err, "") << "plain bash, no bash-completion package";
    return r.out;
}

TEST(Documentation, CompletionOffersWhatEachCommandTakesInAPlainBash) {
    ScratchDir dir;
    dir.write("lists/Mix.m3u8", "#EXTM3U\n");
    dir.write("lists/Old Songs.m3u", "");
    std::string path = std::string(CHARTLOOM_BIN).substr(0, std::string(CHARTLOOM_BIN).rfind('/')) +
                       ":/usr/bin:/bin";
    EXPECT_THAT(complete("chartloom fo", path), "follow\n");
    EXPECT_THAT(complete("chartloom run --no", path), HasSubstr("--no-play"));
    EXPECT_THAT(complete("chartloom menu --no", path), Not(HasSubstr("--no-play")));
    EXPECT_EQ(
        complete("chartloom run --playlists " + (dir.path() / "lists").string() + " --active ",
                 path),
        "Mix\nOld Songs\n");
}

}  // namespace
}  // namespace chartloom::testing
