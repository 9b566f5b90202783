// The about record the host lists among its components.
#pragma once

#include "host/componentversion.h"

namespace chartloom {

inline constexpr const char* component_name = "Chartloom";
inline constexpr const char* component_version = "0.2.3";

// Three lines: what the component does, the credit, the build stamp.
const char* aboutText();

class componentversion_impl_simple : public componentversion {
public:
    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID& guid) noexcept override;

    void fileName(string_receiver& out) noexcept override;
    void componentName(string_receiver& out) noexcept override;
    void version(string_receiver& out) noexcept override;
    void aboutText(string_receiver& out) noexcept override;
};

}  // namespace chartloom
