// The about record a component registers.
#pragma once

#include "host/service.h"
#include "host/string_receiver.h"

class componentversion : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{10BB3EBD-DDF7-4975-A3CC-23084829453E}");

    // [main thread]
    virtual void fileName(string_receiver& out) noexcept = 0;
    // [main thread]
    virtual void componentName(string_receiver& out) noexcept = 0;
    // [main thread]
    virtual void version(string_receiver& out) noexcept = 0;
    // [main thread]
    virtual void aboutText(string_receiver& out) noexcept = 0;

protected:
    ~componentversion() = default;
};
