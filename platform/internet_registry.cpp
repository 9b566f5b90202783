#include "platform/internet_registry.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace chartloom::inet {
namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<HandleObject>> objects;
    uintptr_t lastToken = 0;
    std::atomic<uint64_t> opened{0};
    std::atomic<uint64_t> closed{0};
};

// Never destroyed: handles may still be open, or in use on other threads, at process exit.
Registry& registry() {
    static Registry* const instance = new Registry;
    return *instance;
}

}  // namespace

HINTERNET registerHandle(std::shared_ptr<HandleObject> object) {
    Registry& r = registry();
    uintptr_t token;
    {
        std::lock_guard lock(r.mutex);
        token = ++r.lastToken;
        r.objects.emplace(token, std::move(object));
    }
    r.opened.fetch_add(1, std::memory_order_relaxed);
    return reinterpret_cast<HINTERNET>(token);
}

std::shared_ptr<HandleObject> findHandle(HINTERNET handle) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == r.objects.end() ? nullptr : it->second;
}

std::shared_ptr<HandleObject> unregisterHandle(HINTERNET handle) {
    Registry& r = registry();
    std::shared_ptr<HandleObject> object;
    {
        std::lock_guard lock(r.mutex);
        auto it = r.objects.find(reinterpret_cast<uintptr_t>(handle));
        if (it == r.objects.end()) {
            return nullptr;
        }
        object = std::move(it->second);
        r.objects.erase(it);
    }
    r.closed.fetch_add(1, std::memory_order_relaxed);
    return object;  // destroyed outside the lock: tearing down a transfer may take a moment
}

HandleCounts handleCounts() {
    Registry& r = registry();
    return {r.opened.load(), r.closed.load()};
}

}  // namespace chartloom::inet
