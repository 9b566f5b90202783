// Reference counting for the component's heap objects (tasks): destroyed at the last release.
#pragma once

#include <atomic>
#include <new>
#include <utility>

#include "host/service.h"

namespace chartloom {

// T implements one interface, named by `T::interface_guid`, which the query answers for.
template <class T>
class service_impl_t final : public T {
public:
    template <class... Args>
    explicit service_impl_t(Args&&... args) : T(std::forward<Args>(args)...) {}

    int service_add_ref() noexcept override {
        return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    int service_release() noexcept override {
        int left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }
    bool service_query(service_base*& out, const GUID& guid) noexcept override {
        if (guid == T::interface_guid) {
            service_add_ref();
            out = this;
            return true;
        }
        out = nullptr;
        return false;
    }

private:
    std::atomic<int> refs_{0};
};

template <class T, class... Args>
service_ptr<T> makeService(Args&&... args) {
    return service_ptr<T>(new service_impl_t<T>(std::forward<Args>(args)...));
}

}  // namespace chartloom
