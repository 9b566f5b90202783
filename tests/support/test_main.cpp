// The main of every test program: tests never read or write the real home. Configuration,
// caches and state of the programs under test go to a scratch folder of this run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "tests/support/scratch_dir.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    chartloom::testing::ScratchDir home;
    ::setenv("HOME", home.path().c_str(), 1);
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        ::unsetenv(variable);
    return RUN_ALL_TESTS();
}
