// Small scalar types shared by every interface of the boundary.
#pragma once

#include <cstddef>
#include <cstdint>

// "No index", "to the end", "up to the terminating zero".
inline constexpr size_t none = ~size_t{0};

// The host's top-level window, opaque to plug-ins.
using WindowHandle = void*;
