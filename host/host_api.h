// The host's application object: the one door through which a plug-in finds every service.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/service.h"
#include "host/types.h"

// Opaque token for one service class; 0 when the class is unknown.
using service_class_ref = uintptr_t;

class HostApi {
public:
    // [any thread]
    virtual service_class_ref findServiceClass(const GUID& classGuid) = 0;
    // [any thread] How many services are registered under the class.
    virtual size_t serviceCount(service_class_ref serviceClass) = 0;
    // [any thread] On yes `out` holds a new reference to instance n.
    virtual bool createService(service_class_ref serviceClass, size_t n, service_base*& out) = 0;
    // [main thread]
    virtual WindowHandle mainWindow() = 0;

protected:
    ~HostApi() = default;
};
