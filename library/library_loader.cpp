#include "library/library_loader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "library/library_index.h"
#include "library/library_json.h"
#include "toolbase/store_error.h"
#include "toolbase/xdg_dirs.h"

namespace chartloom::library {
namespace fs = std::filesystem;

namespace {

// FNV-1a: a stable name for a folder's index, the same from run to run and build to build.
std::string folderHash(const std::string& folder) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : folder) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

}  // namespace

fs::path cachedIndexFor(const fs::path& folder) {
    fs::path base = chartloomDir(XdgDir::cache);
    if (base.empty())
        throw StoreError(folder.string() + ": no place for its index: set XDG_CACHE_HOME or HOME");
    std::error_code ec;
    fs::path canonical = fs::canonical(folder, ec);
    if (ec)
        canonical = fs::absolute(folder).lexically_normal();
    return base / ("library-" + folderHash(canonical.string()) + ".index");
}

LoadReport loadLibrary(const fs::path& source, const TrackSink& sink,
                       const ScanObserver& observer) {
    std::error_code ec;
    LoadReport report;
    if (fs::is_directory(source, ec)) {
        fs::path index = cachedIndexFor(source);
        fs::create_directories(index.parent_path(), ec);
        if (ec) {
            throw StoreError(index.parent_path().string() +
                             ": cannot make the folder for the library index: " + ec.message());
        }
        report.counts = refreshIndexFile(index, source, observer, true);
        report.refreshed = true;
        LibraryIndex::openForReading(index).load(sink);
        report.root = fs::canonical(source, ec);
        return report;
    }
    if (!fs::exists(source, ec))
        throw StoreError(source.string() + ": no such file or folder");
    fs::path beside = fs::absolute(source, ec).parent_path();
    if (looksLikeIndex(source)) {
        LibraryIndex index = LibraryIndex::openForReading(source);
        index.load(sink);
        std::string root = index.root();
        report.root = root.empty() ? beside : fs::path(root);
        return report;
    }
    std::optional<std::string> root = readLibraryJson(source, sink);
    report.root = root ? (beside / *root).lexically_normal() : beside;
    return report;
}

size_t expectedTracks(const fs::path& source) {
    std::error_code ec;
    if (!fs::is_regular_file(source, ec))
        return 0;
    if (looksLikeIndex(source)) {
        try {
            return LibraryIndex::openForReading(source).size();
        } catch (const StoreError&) {
            return 0;  // the load itself will say what is wrong
        }
    }
    auto size = fs::file_size(source, ec);
    return ec ? 0 : static_cast<size_t>(size / 200);  // a track takes 150 to 250 bytes
}

}  // namespace chartloom::library
