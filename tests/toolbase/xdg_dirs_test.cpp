// Where a user's files go, by the XDG rules.
#include "toolbase/xdg_dirs.h"

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"

namespace chartloom {
namespace {

using testing::ScopedEnvVar;

TEST(XdgDirs, AnAbsoluteVariableElseTheDefaultUnderHome) {
    struct Case {
        std::optional<std::string> variable, home;
        std::string state;  // expected; "" for none
    } cases[] = {
        {"/x/state", "/home/me", "/x/state/chartloom"},
        {"relative/state", "/home/me", "/home/me/.local/state/chartloom"},
        {"", "/home/me", "/home/me/.local/state/chartloom"},
        {std::nullopt, "/home/me", "/home/me/.local/state/chartloom"},
        {std::nullopt, "relative", ""},
        {std::nullopt, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        ScopedEnvVar variable("XDG_STATE_HOME", c.variable);
        ScopedEnvVar home("HOME", c.home);
        EXPECT_EQ(chartloomDir(XdgDir::state).string(), c.state)
            << c.variable.value_or("(unset)") << ", HOME " << c.home.value_or("(unset)");
    }
    ScopedEnvVar home("HOME", "/home/me");
    ScopedEnvVar cache("XDG_CACHE_HOME", std::nullopt);
    ScopedEnvVar config("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(chartloomDir(XdgDir::cache).string(), "/home/me/.cache/chartloom");
    EXPECT_EQ(chartloomDir(XdgDir::config).string(), "/home/me/.config/chartloom");
}

}  // namespace
}  // namespace chartloom
