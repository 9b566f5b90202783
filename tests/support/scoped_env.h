// Environment changes limited to a test's scope. Change the environment only while no other
// thread of the test reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace chartloom::testing {

class ScriptedHttpServer;

// Sets (or, with nullopt, removes) one variable; the old state comes back on destruction.
class ScopedEnvVar {
public:
    ScopedEnvVar(std::string name, const std::optional<std::string>& value);
    ScopedEnvVar(const ScopedEnvVar&) = delete;
    ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;
    ~ScopedEnvVar();

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// http_proxy=http://127.0.0.1:PORT/ with no_proxy / NO_PROXY removed, for the scope.
class ScopedHttpProxy {
public:
    explicit ScopedHttpProxy(uint16_t port);
    explicit ScopedHttpProxy(const ScriptedHttpServer& server);

private:
    ScopedEnvVar proxy_;
    ScopedEnvVar noProxy_;
    ScopedEnvVar noProxyUpper_;
};

}  // namespace chartloom::testing
