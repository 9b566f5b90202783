// Reading a whole file that must be a regular one. [any thread]
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace chartloom {

// The file's bytes; nullopt when there is none. Never blocks on something that is not a
// regular file (a FIFO, a device): that is refused, as is a file larger than `maxBytes`, also
// one that grows past it while being read. Raises std::system_error naming the file (EINVAL
// for not a regular file, EFBIG for too large, else the system's reason).
std::optional<std::string> readRegularFile(const std::filesystem::path& file,
                                           size_t maxBytes = SIZE_MAX);

}  // namespace chartloom
