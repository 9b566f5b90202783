#include "toolbase/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "toolbase/unique_fd.h"

namespace chartloom {
namespace {

[[noreturn]] void fail(const std::filesystem::path& file, int error) {
    throw std::system_error(error, std::generic_category(), file.string());
}

}  // namespace

std::optional<std::string> readRegularFile(const std::filesystem::path& file, size_t maxBytes) {
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) {
        if (errno == ENOENT)
            return std::nullopt;
        fail(file, errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        fail(file, errno);
    if (!S_ISREG(info.st_mode))
        fail(file, EINVAL);
    if (static_cast<uint64_t>(info.st_size) > maxBytes)
        fail(file, EFBIG);
    std::string bytes;
    bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(file, errno);
        if (n == 0)
            return bytes;
        if (bytes.size() + static_cast<size_t>(n) > maxBytes)
            fail(file, EFBIG);
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace chartloom
