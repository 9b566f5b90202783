#include "tests/support/scoped_env.h"

#include <cstdlib>
#include <utility>

#include "tests/support/scripted_http_server.h"

namespace chartloom::testing {
namespace {

void assign(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

}  // namespace

ScopedEnvVar::ScopedEnvVar(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) {
        previous_ = old;
    }
    assign(name_, value);
}

ScopedEnvVar::~ScopedEnvVar() {
    assign(name_, previous_);
}

ScopedHttpProxy::ScopedHttpProxy(uint16_t port)
    : proxy_("http_proxy", "http://127.0.0.1:" + std::to_string(port) + "/"),
      noProxy_("no_proxy", std::nullopt),
      noProxyUpper_("NO_PROXY", std::nullopt) {}

ScopedHttpProxy::ScopedHttpProxy(const ScriptedHttpServer& server)
    : ScopedHttpProxy(server.port()) {}

}  // namespace chartloom::testing
