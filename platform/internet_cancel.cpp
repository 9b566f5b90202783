#include "platform/internet_cancel.h"

#include <atomic>

#include "platform/wininet.h"

namespace chartloom::inet {
namespace {

// Lock-free, so the switch may be thrown from a signal handler.
std::atomic<bool> g_cancelled{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

bool waitsCancelled() {
    return g_cancelled.load(std::memory_order_relaxed);
}

}  // namespace chartloom::inet

void InternetCancelWaits(bool cancel) {
    chartloom::inet::g_cancelled.store(cancel, std::memory_order_relaxed);
}
