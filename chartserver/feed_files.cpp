#include "chartserver/feed_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

#include "chartserver/feed_check.h"
#include "toolbase/unique_fd.h"

namespace chartloom::chartserver {
namespace {

constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;

struct FileRead {
    enum class Kind { Missing, Found, Unusable } kind = Kind::Missing;
    std::string bytes;
};

FileRead unusable() {
    return {FileRead::Kind::Unusable, {}};
}

bool isStrictlyInside(const std::filesystem::path& root, const std::filesystem::path& path) {
    auto [rootEnd, pathRest] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    return rootEnd == root.end() && pathRest != path.end();
}

// Reads root/relative if it resolves to a regular file inside root. Opening is non-blocking so
// that a FIFO planted in the folder cannot hang a worker.
FileRead readInside(const std::filesystem::path& root, const std::filesystem::path& relative) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::canonical(root / relative, error);
    if (error || !isStrictlyInside(root, resolved))
        return {};
    UniqueFd fd(::open(resolved.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.get() < 0)
        return errno == ENOENT ? FileRead{} : unusable();
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    if (static_cast<std::size_t>(info.st_size) > kMaxFileBytes)
        return unusable();
    FileRead read{FileRead::Kind::Found, {}};
    char buffer[16 * 1024];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return unusable();
        }
        read.bytes.append(buffer, static_cast<std::size_t>(n));
        if (read.bytes.size() > kMaxFileBytes)
            return unusable();
    }
    return read;
}

// A status file holds one number from 200 to 599, optionally surrounded by white space.
std::optional<int> parseStatus(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return std::nullopt;
    text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
    int status = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), status);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (status < 200 || status > 599)
        return std::nullopt;
    return status;
}

// A 500 whose body says what is wrong with `file` (relative to the folder) and whose note
// names it whole, with the line when one is known.
FeedAnswer fault(const std::filesystem::path& root, const std::filesystem::path& file,
                 const std::string& what, int line = 0) {
    std::string at = line > 0 ? " line " + std::to_string(line) : "";
    return {500, file.string() + at + ": " + what + "\n", false,
            (root / file).string() + at + ": " + what, file.string()};
}

// The answer of one folder: a status file's status, else the feed file, else none.
std::optional<FeedAnswer> answerFromFolder(const std::filesystem::path& root,
                                           const std::filesystem::path& folder,
                                           const std::string& file) {
    std::filesystem::path feedFile = folder / file, statusFile = folder / (file + ".status");
    FileRead feed = readInside(root, feedFile);
    FileRead status = readInside(root, statusFile);
    if (feed.kind == FileRead::Kind::Unusable)
        return fault(root, feedFile, "the feed file cannot be read or is larger than 16 MiB");
    if (status.kind == FileRead::Kind::Unusable)
        return fault(root, statusFile, "the status file cannot be read");

    FeedAnswer answer;
    if (status.kind == FileRead::Kind::Found) {
        std::optional<int> code = parseStatus(status.bytes);
        if (!code)
            return fault(root, statusFile,
                         "the status file does not hold a status from 200 to 599");
        answer.status = *code;
    } else if (feed.kind == FileRead::Kind::Found) {
        answer.status = 200;
        FeedCheck check = checkFeed(
            file == "toptracks.xml" ? FeedKind::TopTracks : FeedKind::Similar, feed.bytes);
        if (!check.readable)
            return fault(root, feedFile, check.reason, check.line);
    } else {
        return std::nullopt;
    }
    // These two statuses carry no body in HTTP.
    if (answer.status != 204 && answer.status != 304)
        answer.body = std::move(feed.bytes);
    answer.file = feedFile.string();
    return answer;
}

}  // namespace

FeedAnswer answerFeed(const std::filesystem::path& root, const FeedRequest& request) {
    std::vector<std::string> folders = feedFolderNames(request);
    for (const std::string& folder : folders) {
        if (std::optional<FeedAnswer> answer = answerFromFolder(root, folder, request.file))
            return std::move(*answer);
    }
    FeedAnswer missing;
    if (folders.empty())
        missing.note = "no folder can be named after this artist";
    return missing;
}

}  // namespace chartloom::chartserver
