// Chart service client tests: the component's code linked in, attached to a reference host
// for its console, and a scripted server reached through http_proxy.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/internet_test_hooks.h"
#include "platform/wininet.h"
#include "player/host.h"
#include "pluginbase/host_access.h"
#include "tests/support/scripted_http_server.h"

namespace chartloom::testing {

class ChartServiceTest : public ::testing::Test {
protected:
    ChartServiceTest() {
        attachHost(&host.api());
        setServicesInitialised(true);
        handlesBefore = InternetGetHandleCounts();
    }
    ~ChartServiceTest() override {
        setServicesInitialised(false);
        attachHost(nullptr);
    }
    void TearDown() override {
        InternetHandleCounts now = InternetGetHandleCounts();
        EXPECT_EQ(now.opened - handlesBefore.opened, now.closed - handlesBefore.closed)
            << "Internet handles leaked";
        EXPECT_TRUE(host.violations().list().empty());
    }

    // Serves `body` for the feed of an artist whose encoded segment is `segment`.
    void serveFeed(const std::string& segment, const std::string& feed, Response response) {
        server.route("/1.0/artist/" + segment + "/" + feed, std::move(response));
    }

    player::Host host;
    ScriptedHttpServer server;
    ScopedHttpProxy proxy{server};
    InternetHandleCounts handlesBefore{};
};

// Expects `body` to raise exactly the error type E with exactly `message`.
template <class E, class F>
void expectError(F&& body, const std::string& message) {
    try {
        body();
        ADD_FAILURE() << "no error; expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(e.what(), message);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "wrong error kind: " << e.what();
    }
}

}  // namespace chartloom::testing
