#include "platform/internet_timeouts.h"

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <string_view>

namespace chartloom::inet {
namespace {

std::atomic<long> g_connectMs{0}, g_stallMs{0}, g_totalMs{0};

// The next comma-separated field of `rest` as milliseconds, or 0 for an empty or bad one.
long nextField(std::string_view& rest) {
    size_t comma = rest.find(',');
    std::string_view field = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    long value = 0;
    auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && end == field.data() + field.size() && value > 0 ? value : 0;
}

void overlay(std::chrono::milliseconds& field, long ms) {
    if (ms > 0)
        field = std::chrono::milliseconds(ms);
}

}  // namespace

Timeouts currentTimeouts() {
    Timeouts t;
    if (const char* env = std::getenv("CHARTLOOM_INET_TIMEOUTS")) {
        std::string_view rest(env);
        overlay(t.connect, nextField(rest));
        overlay(t.stall, nextField(rest));
        overlay(t.total, nextField(rest));
    }
    overlay(t.connect, g_connectMs.load());
    overlay(t.stall, g_stallMs.load());
    overlay(t.total, g_totalMs.load());
    return t;
}

void setTimeouts(const Timeouts& timeouts) {
    g_connectMs.store(static_cast<long>(timeouts.connect.count()));
    g_stallMs.store(static_cast<long>(timeouts.stall.count()));
    g_totalMs.store(static_cast<long>(timeouts.total.count()));
}

}  // namespace chartloom::inet
