// Bringing a library index up to date with its music folder, or reading a folder whole.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "library/library_index.h"
#include "library/track_sink.h"

namespace chartloom::library {

struct ScanCounts {
    size_t added = 0;
    size_t updated = 0;
    size_t removed = 0;
    size_t unchanged = 0;
    size_t unreadable = 0;  // of the tracks now known, those without readable audio
    size_t tracks() const { return added + updated + unchanged; }
    bool changed() const { return added + updated + removed > 0; }
};

// "N tracks: A added, U updated, R removed, K unchanged, E unreadable"
std::string summaryLine(const ScanCounts& counts);

struct ScanObserver {
    // Files read so far, of those that need reading. [the calling thread]
    std::function<void(size_t done, size_t total)> progress;
    // One line per problem, naming the file.
    std::function<void(const std::string&)> problem;
};

// Reads with TagLib only the files that are new or whose size or modification time changed,
// drops the rows of files that are gone, and records files without readable audio as such.
// Reads on every core; writes in transactions as it goes.
ScanCounts updateIndex(LibraryIndex& index, const std::filesystem::path& folder,
                       const ScanObserver& observer);

// updateIndex on the index in `file`, created when missing. An index that turns out damaged
// is made anew when `privateCache` says the file is ours alone, or when it was seen to be
// an index before the damage showed; a locked index or another program's file raise.
ScanCounts refreshIndexFile(const std::filesystem::path& file, const std::filesystem::path& folder,
                            const ScanObserver& observer, bool privateCache);

// Reads every audio file of the folder and hands the tracks to `sink` in path order.
ScanCounts scanFolder(const std::filesystem::path& folder, const TrackSink& sink,
                      const ScanObserver& observer);

}  // namespace chartloom::library
