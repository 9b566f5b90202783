// Message boxes.
#pragma once

#include <cstdint>

#include "host/service.h"

class PopupService : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{D5CAC75A-3023-4DCE-8B0D-B502BD056A7C}");
    static constexpr uint32_t kind_error = 1;

    // [any thread] Returns once the user has seen the message.
    virtual void show(const char* message, const char* title, uint32_t kind) = 0;

protected:
    ~PopupService() = default;
};
