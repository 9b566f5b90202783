// The component's error kinds. Every error is an exception carrying its message; none ever
// crosses the plug-in boundary.
#pragma once

#include <stdexcept>
#include <string>

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

struct exception_aborted : std::runtime_error {
    exception_aborted() : std::runtime_error("User abort") {}
};

struct exception_overflow : std::runtime_error {
    exception_overflow() : std::runtime_error("Overflow") {}
};

struct exception_io : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct exception_io_data : exception_io {
    using exception_io::exception_io;
};
struct exception_io_data_truncation : exception_io_data {
    exception_io_data_truncation() : exception_io_data("Unsupported format or corrupted file") {}
};
