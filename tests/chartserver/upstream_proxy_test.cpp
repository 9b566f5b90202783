#include "chartserver/upstream_proxy.h"

#include <gtest/gtest.h>

namespace chartloom::chartserver {
namespace {

TEST(UpstreamProxy, BypassesTheHostsNoProxyNames) {
    struct Row {
        const char* noProxy;
        const char* host;
        bool bypassed;
    };
    const Row rows[] = {
        {"*", "ws.audioscrobbler.com", true},
        {"localhost, 127.0.0.1", "127.0.0.1", true},
        {"example.org,audioscrobbler.com", "ws.audioscrobbler.com", true},
        {".audioscrobbler.com", "WS.AudioScrobbler.com", true},
        {"scrobbler.com", "ws.audioscrobbler.com", false},  // a suffix, not a domain
        {"ws.audioscrobbler.com.evil", "ws.audioscrobbler.com", false},
        {" , ,", "localhost", false},
    };
    for (const Row& row : rows) {
        UpstreamProxy proxy;
        // Long enough that a view of a destroyed copy would not hold short-string bytes.
        proxy.noProxy = std::string(row.noProxy) + std::string(64, ',');
        EXPECT_EQ(proxy.bypasses(row.host), row.bypassed) << row.noProxy << " / " << row.host;
    }
    EXPECT_FALSE(UpstreamProxy{}.bypasses("localhost"));
}

}  // namespace
}  // namespace chartloom::chartserver
