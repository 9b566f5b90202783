// The table of live Internet handles. A handle value is an opaque, never reused token, so a
// closed, bogus or foreign pointer is refused instead of being dereferenced.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/wininet.h"

namespace chartloom::inet {

// Base of everything a handle can stand for.
class HandleObject {
public:
    virtual ~HandleObject() = default;
};

// Stores `object` and returns its new handle (counted as opened). Thread-safe.
HINTERNET registerHandle(std::shared_ptr<HandleObject> object);
// The object behind `handle`, or null if the handle is not open. The returned reference keeps
// the object alive even if another thread closes the handle meanwhile.
std::shared_ptr<HandleObject> findHandle(HINTERNET handle);
// Removes `handle` (counted as closed) and returns its object; null if it was not open.
std::shared_ptr<HandleObject> unregisterHandle(HINTERNET handle);
// Root and request handles handed out and closed since the process started.
struct HandleCounts {
    uint64_t opened;
    uint64_t closed;
};
HandleCounts handleCounts();

}  // namespace chartloom::inet
