#include "library/music_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "toolbase/path_text.h"
#include "toolbase/store_error.h"

namespace chartloom::library {
namespace {

bool isAudioName(std::string_view name) {
    static constexpr std::array<std::string_view, 18> extensions = {
        ".mp3", ".flac", ".ogg", ".oga", ".opus", ".m4a", ".mp4", ".aac", ".wav",
        ".wv",  ".ape",  ".mpc", ".aif", ".aiff", ".wma", ".spx", ".tta", ".dsf"};
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    std::string ext(name.substr(dot));
    for (char& c : ext)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

FileStamp stampOf(const struct stat& st) {
    return {static_cast<int64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

class Walk {
public:
    Walk(const std::filesystem::path& folder,
         const std::function<void(const std::string&)>& problem)
        : folder_(folder), problem_(problem) {}

    std::vector<AudioFile> run() {
        int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            throw StoreError(folder_.string() +
                             ": cannot read the folder: " + std::strerror(errno));
        }
        visit(fd, "");
        std::sort(files_.begin(), files_.end(),
                  [](const AudioFile& a, const AudioFile& b) { return a.key < b.key; });
        return std::move(files_);
    }

private:
    void report(const std::string& relative, const std::string& why) {
        if (problem_)
            problem_(displayPath((folder_ / relative).string()) + ": " + why);
    }

    // Takes over `fd`. `prefix` is the folder's key with a trailing separator, or empty.
    void visit(int fd, const std::string& prefix) {
        DirHandle dir(::fdopendir(fd));
        if (!dir) {
            ::close(fd);
            report(pathOfKey(prefix),
                   std::string("cannot read the folder: ") + std::strerror(errno));
            return;
        }
        for (;;) {
            errno = 0;
            dirent* e = ::readdir(dir.get());
            if (!e) {
                if (errno != 0)
                    report(pathOfKey(prefix),
                           std::string("cannot read the folder: ") + std::strerror(errno));
                break;
            }
            std::string_view name = e->d_name;
            if (name == "." || name == "..")
                continue;
            entry(::dirfd(dir.get()), prefix, name, e->d_type);
        }
    }

    void entry(int dirFd, const std::string& prefix, std::string_view name, unsigned char type) {
        std::string key = prefix;
        key.append(name);
        struct stat st {};
        if (type == DT_UNKNOWN) {
            if (::fstatat(dirFd, e(name), &st, AT_SYMLINK_NOFOLLOW) != 0)
                return;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }
        if (type == DT_DIR) {
            int sub = ::openat(dirFd, e(name), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) {
                report(pathOfKey(key),
                       std::string("cannot open the folder: ") + std::strerror(errno));
                return;
            }
            key.push_back('\0');
            visit(sub, key);
            return;
        }
        if (!isAudioName(name))
            return;
        if (::fstatat(dirFd, e(name), &st, 0) != 0) {
            if (errno == ELOOP)
                report(pathOfKey(key), "a loop of symbolic links");
            else if (errno != ENOENT)  // a dangling link is no file
                report(pathOfKey(key), std::strerror(errno));
            return;
        }
        if (!S_ISREG(st.st_mode))
            return;  // links to folders are not followed
        std::string path = pathOfKey(key);
        if (const char* why = pathProblem(path)) {
            report(path, std::string("left out: ") + why);
            return;
        }
        files_.push_back({std::move(key), stampOf(st)});
    }

    // `name` NUL-terminated: readdir's names are, and the view keeps the terminator.
    static const char* e(std::string_view name) { return name.data(); }

    std::filesystem::path folder_;
    const std::function<void(const std::string&)>& problem_;
    std::vector<AudioFile> files_;
};

}  // namespace

std::string pathOfKey(std::string_view key) {
    std::string path(key);
    std::replace(path.begin(), path.end(), '\0', '/');
    return path;
}

std::string keyOfPath(std::string_view path) {
    std::string key(path);
    std::replace(key.begin(), key.end(), '/', '\0');
    return key;
}

std::vector<AudioFile> listAudioFiles(const std::filesystem::path& folder,
                                      const std::function<void(const std::string&)>& problem) {
    return Walk(folder, problem).run();
}

}  // namespace chartloom::library
