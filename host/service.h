// The counted object every service, task and track handle is built on, and the smart reference
// both sides use to hold one.
#pragma once

#include <utility>

#include "host/guid.h"

class service_base {
public:
    // [any thread] Answers the new count.
    virtual int service_add_ref() noexcept = 0;
    // [any thread] Answers the count left; the object may be gone when it is 0.
    virtual int service_release() noexcept = 0;
    // [any thread] On yes `out` holds a new reference to this object as the interface `guid`.
    virtual bool service_query(service_base*& out, const GUID& guid) noexcept = 0;

protected:
    ~service_base() = default;
};

// The whole query of an object that is one interface: `self` as `Interface` when `guid` names
// it (with a new reference), else nothing.
template <class Interface>
bool answer_query(Interface* self, service_base*& out, const GUID& guid) noexcept {
    if (guid != Interface::class_guid) {
        out = nullptr;
        return false;
    }
    self->service_add_ref();
    out = self;
    return true;
}

// Holds one reference. Never crosses the boundary itself: only the raw pointer does.
template <class T>
class service_ptr {
public:
    service_ptr() = default;
    service_ptr(std::nullptr_t) {}
    // Takes a new reference.
    explicit service_ptr(T* p) : p_(p) {
        if (p_)
            p_->service_add_ref();
    }
    // Adopts a reference the caller already owns.
    static service_ptr adopt(T* p) {
        service_ptr r;
        r.p_ = p;
        return r;
    }
    service_ptr(const service_ptr& o) : service_ptr(o.p_) {}
    service_ptr(service_ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    service_ptr& operator=(service_ptr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~service_ptr() { reset(); }

    void reset() {
        if (T* p = std::exchange(p_, nullptr))
            p->service_release();
    }
    T* detach() { return std::exchange(p_, nullptr); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    friend bool operator==(const service_ptr& a, const service_ptr& b) { return a.p_ == b.p_; }

private:
    T* p_ = nullptr;
};
