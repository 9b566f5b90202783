// Base fixture for tests of the Internet functions: short time-outs, and every handle opened
// during a test must be closed by its end.
#pragma once

#include <gtest/gtest.h>

#include "platform/internet_test_hooks.h"
#include "platform/wininet.h"

namespace chartloom::testing {

class InternetTest : public ::testing::Test {
protected:
    void SetUp() override {
        InternetSetTimeouts(5000, 5000);  // a fault fails in seconds, not minutes
        before_ = InternetGetHandleCounts();
    }
    void TearDown() override {
        InternetSetTimeouts(0, 0);
        const InternetHandleCounts after = InternetGetHandleCounts();
        EXPECT_EQ(after.opened - before_.opened, after.closed - before_.closed)
            << "handles leaked by this test";
    }
    uint64_t openedSinceStart() const { return InternetGetHandleCounts().opened - before_.opened; }

private:
    InternetHandleCounts before_{};
};

}  // namespace chartloom::testing
