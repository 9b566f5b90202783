#include "library/folder_scan.h"

#include <chrono>
#include <thread>

#include "library/tag_reader_pool.h"
#include "toolbase/path_text.h"
#include "toolbase/store_error.h"

namespace chartloom::library {
namespace fs = std::filesystem;

namespace {

unsigned readerThreads() {
    return std::max(1u, std::thread::hardware_concurrency());
}

// The folder as the index records it: absolute, so that it names the same folder from any
// working directory.
fs::path absoluteFolder(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw StoreError(folder.string() + ": not a folder");
    fs::path abs = fs::absolute(folder, ec);
    return ec ? folder : abs.lexically_normal();
}

// Reads `files` (keys below `folder`) in order; calls `take(i, record, readable)` for each.
template <class Take>
void readAll(const fs::path& folder, const std::vector<const AudioFile*>& files,
             const ScanObserver& observer, Take&& take) {
    std::vector<fs::path> paths;
    paths.reserve(files.size());
    for (const AudioFile* f : files)
        paths.push_back(folder / pathOfKey(f->key));
    TagReaderPool pool(std::move(paths), readerThreads());
    player::TrackRecord record;
    for (size_t i = 0; i < files.size(); ++i) {
        bool readable = pool.next(record);
        std::string path = pathOfKey(files[i]->key);
        if (!readable && observer.problem)
            observer.problem(displayPath((folder / path).string()) + ": no audio TagLib can read");
        record.setPath(path);
        record.setUnreadable(!readable);
        take(i, record, readable);
        if (observer.progress)
            observer.progress(i + 1, files.size());
    }
}

}  // namespace

std::string summaryLine(const ScanCounts& c) {
    return std::to_string(c.tracks()) + " tracks: " + std::to_string(c.added) + " added, " +
           std::to_string(c.updated) + " updated, " + std::to_string(c.removed) + " removed, " +
           std::to_string(c.unchanged) + " unchanged, " + std::to_string(c.unreadable) +
           " unreadable";
}

ScanCounts updateIndex(LibraryIndex& index, const fs::path& folder, const ScanObserver& observer) {
    fs::path root = absoluteFolder(folder);
    std::vector<AudioFile> found = listAudioFiles(root, observer.problem);
    // An index of another folder keeps nothing: every row goes, every file is new.
    bool sameRoot = index.root() == root.string();
    std::vector<IndexedFile> known = index.files();
    ScanCounts counts;
    if (!sameRoot) {
        counts.removed = known.size();
        known.clear();
    }

    // Both lists are in key order: one merge tells new, changed, unchanged and gone apart.
    std::vector<const AudioFile*> toRead;
    std::vector<bool> isNew;
    std::vector<const std::string*> gone;
    size_t k = 0;
    for (const AudioFile& f : found) {
        while (k < known.size() && known[k].key < f.key)
            gone.push_back(&known[k++].key);
        if (k < known.size() && known[k].key == f.key) {
            const IndexedFile& row = known[k++];
            if (row.usable && row.stamp == f.stamp) {
                ++counts.unchanged;
                continue;
            }
            toRead.push_back(&f);
            isNew.push_back(false);
        } else {
            toRead.push_back(&f);
            isNew.push_back(true);
        }
    }
    while (k < known.size())
        gone.push_back(&known[k++].key);

    {
        Transaction t(index.db());
        if (!sameRoot) {
            index.db().exec("DELETE FROM tracks");
            index.setRoot(root.string());
        }
        for (const std::string* key : gone)
            index.erase(*key);
        t.commit();
    }
    counts.removed += gone.size();

    // Written in batches: a killed scan loses at most the batch it was writing.
    using Clock = std::chrono::steady_clock;
    std::unique_ptr<Transaction> batch;
    size_t inBatch = 0;
    auto started = Clock::now();
    readAll(root, toRead, observer,
            [&](size_t i, const player::TrackRecord& record, bool readable) {
                if (!batch) {
                    batch = std::make_unique<Transaction>(index.db());
                    started = Clock::now();
                }
                index.put(*toRead[i], readable ? &record : nullptr);
                ++(isNew[i] ? counts.added : counts.updated);
                if (++inBatch >= 1000 || Clock::now() - started > std::chrono::milliseconds(500)) {
                    batch->commit();
                    batch.reset();
                    inBatch = 0;
                }
            });
    if (batch)
        batch->commit();
    counts.unreadable = index.unreadableCount();
    return counts;
}

ScanCounts refreshIndexFile(const fs::path& file, const fs::path& folder,
                            const ScanObserver& observer, bool privateCache) {
    for (int attempt = 0;; ++attempt) {
        bool opened = false;
        try {
            LibraryIndex index = LibraryIndex::openForUpdate(file);
            opened = true;
            return updateIndex(index, folder, observer);
        } catch (const IndexError& e) {
            using Kind = IndexError::Kind;
            bool ours = privateCache || (opened && e.kind == Kind::damaged);
            if (attempt > 0 || !ours || e.kind == Kind::locked || e.kind == Kind::failed ||
                e.kind == Kind::readOnly)
                throw;
            if (observer.problem)
                observer.problem(std::string(e.what()) + "; making it anew");
        }
        LibraryIndex::remove(file);
    }
}

ScanCounts scanFolder(const fs::path& folder, const TrackSink& sink, const ScanObserver& observer) {
    fs::path root = absoluteFolder(folder);
    std::vector<AudioFile> found = listAudioFiles(root, observer.problem);
    std::vector<const AudioFile*> toRead;
    for (const AudioFile& f : found)
        toRead.push_back(&f);
    ScanCounts counts;
    readAll(root, toRead, observer, [&](size_t, const player::TrackRecord& record, bool readable) {
        ++counts.added;
        counts.unreadable += readable ? 0 : 1;
        sink(record);
    });
    return counts;
}

}  // namespace chartloom::library
