// The plug-in's error kinds. Every error is an exception carrying its message; none ever
// crosses the plug-in boundary.
#pragma once

#include <stdexcept>

#include "host/exceptions.h"

namespace chartloom {

// The generic kind: download, feed and task failures.
struct ServiceError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The chart service does not know the artist.
struct FileNotFound : ServiceError {
    using ServiceError::ServiceError;
};

}  // namespace chartloom

// The user pressed abort.
struct exception_aborted : std::runtime_error {
    exception_aborted() : std::runtime_error("User abort") {}
};
