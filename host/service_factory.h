// One record of a plug-in's list of service factories.
#pragma once

#include "host/service.h"

class service_factory_base {
public:
    // [main thread] On yes `out` holds a new reference to the service this record carries.
    virtual bool createInstance(service_base*& out) noexcept = 0;
    // [main thread]
    virtual service_factory_base* next() const noexcept = 0;
    // [main thread]
    virtual GUID serviceClass() const noexcept = 0;

protected:
    ~service_factory_base() = default;
};
