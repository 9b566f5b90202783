#include "playlists/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "toolbase/unique_fd.h"

namespace chartloom::playlists {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const fs::path& target, int error) {
    throw std::system_error(error, std::generic_category(), target.string());
}

// Removes the temporary file unless it was renamed into place.
class TemporaryName {
public:
    explicit TemporaryName(std::string path) : path_(std::move(path)) {}
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    ~TemporaryName() {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    const char* c_str() const { return path_.c_str(); }
    void keep() { path_.clear(); }

private:
    std::string path_;
};

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

mode_t defaultMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void replaceFileContents(const fs::path& requested, const std::string& text) {
    // Write through a symbolic link to the file it names.
    fs::path target = requested;
    std::error_code ec;
    if (fs::is_symlink(requested, ec)) {
        target = fs::weakly_canonical(requested, ec);
        if (ec)
            fail(requested, ec.value());
    }
    struct stat old {};
    bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        fail(requested, errno);

    std::string pattern =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    // mkostemp creates exclusively (O_CREAT | O_EXCL): a link planted under the name is never
    // followed, and the random suffix makes planting one a guess.
    UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.get() < 0)
        fail(requested, errno);
    TemporaryName temp(pattern);

    if (exists) {
        if (::fchmod(fd.get(), old.st_mode & 07777) != 0)
            fail(requested, errno);
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)::fchown(fd.get(), old.st_uid, old.st_gid);  // only where allowed
    } else if (::fchmod(fd.get(), defaultMode()) != 0) {
        fail(requested, errno);
    }
    if (!writeAll(fd.get(), text) || ::fsync(fd.get()) != 0 || !fd.close())
        fail(requested, errno);
    if (::rename(temp.c_str(), target.c_str()) != 0)
        fail(requested, errno);
    temp.keep();
}

bool readWholeFile(const fs::path& file, std::string& bytes) {
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return false;
        fail(file, errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        fail(file, errno);
    if (!S_ISREG(info.st_mode))
        fail(file, EINVAL);
    bytes.clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(file, errno);
        if (n == 0)
            return true;
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace chartloom::playlists
