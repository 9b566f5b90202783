// Finding the one instance of a host service: [any thread]. Raises on anything but exactly one.
#pragma once

#include "host/exceptions.h"
#include "host/host_api.h"
#include "host/service.h"

template <class T>
service_ptr<T> lookupService(HostApi& api) {
    service_class_ref cls = api.findServiceClass(T::class_guid);
    size_t count = cls ? api.serviceCount(cls) : 0;
    if (count == 0)
        throw exception_service_not_found();
    if (count != 1)
        throw exception_service_duplicated();
    service_base* out = nullptr;
    if (!api.createService(cls, 0, out) || !out)
        throw exception_bug_check();
    // Whatever is registered under T's class GUID is a T.
    return service_ptr<T>::adopt(static_cast<T*>(out));
}
