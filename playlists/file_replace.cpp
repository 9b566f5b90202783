#include "playlists/file_replace.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "toolbase/file_read.h"
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

std::string randomNameSuffix() {
    unsigned char bytes[9];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "getrandom");
        got += n > 0 ? static_cast<size_t>(n) : 0;
    }
    static const char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_";
    std::string suffix;
    for (size_t i = 0; i < sizeof bytes; i += 3) {  // 4 letters of 6 bits per 3 bytes
        unsigned v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6)
            suffix += letters[(v >> shift) & 63];
    }
    return suffix;
}

void replaceFileContents(const fs::path& requested, const std::string& text,
                         const NameSuffixes& suffixes) {
    // Write through a symbolic link to the file it names, when both are the user's own: a link
    // in a folder that others may write to must not carry our writes elsewhere.
    fs::path target = requested;
    struct stat link {};
    if (::lstat(requested.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        std::error_code ec;
        target = fs::weakly_canonical(requested, ec);
        if (ec)
            fail(requested, ec.value());
        struct stat named {};
        bool namedExists = ::stat(target.c_str(), &named) == 0;
        uid_t me = ::geteuid();
        if (link.st_uid != me || (namedExists && named.st_uid != me)) {
            throw std::system_error(EPERM, std::generic_category(),
                                    requested.string() + " is a link to " + target.string() +
                                        ", and one of them belongs to another user: not "
                                        "written through it");
        }
    }
    struct stat old {};
    bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        fail(requested, errno);

    // Created exclusively and never through a link: a name that exists, whatever it is, is
    // passed over for the next.
    std::string temporary;
    UniqueFd fd;
    for (int attempt = 0; !fd; ++attempt) {
        temporary =
            (target.parent_path() / ("." + target.filename().string() + "." + suffixes())).string();
        fd.reset(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd && (errno != EEXIST || attempt == 99))
            fail(requested, errno);
    }
    TemporaryName temp(temporary);

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
    std::optional<std::string> read = readRegularFile(file);
    if (!read)
        return false;
    bytes = std::move(*read);
    return true;
}

}  // namespace chartloom::playlists
