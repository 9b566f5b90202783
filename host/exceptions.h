// The error kinds of service lookup. They live inside one module: nothing throws across the
// boundary.
#pragma once

#include <stdexcept>

struct exception_bug_check : std::runtime_error {
    exception_bug_check() : std::runtime_error("Bug check") {}
};
struct exception_service_not_found : std::runtime_error {
    exception_service_not_found() : std::runtime_error("Service not found") {}
};
struct exception_service_duplicated : std::runtime_error {
    exception_service_duplicated() : std::runtime_error("Service duplicated") {}
};
