// Reads audio files with TagLib on several threads and hands the results back in the order
// of the list, to one consuming thread. At most a window of files is read ahead of the
// consumer, so memory stays bounded however slow one file is.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "player/track_record.h"

namespace chartloom::library {

class TagReaderPool {
public:
    TagReaderPool(std::vector<std::filesystem::path> files, unsigned threads);
    // Stops the readers and waits for them.
    ~TagReaderPool();
    TagReaderPool(const TagReaderPool&) = delete;
    TagReaderPool& operator=(const TagReaderPool&) = delete;

    // [consumer] The next file's fields into `out`; answers whether it could be read. Call
    // once per file.
    bool next(player::TrackRecord& out);

private:
    struct Result {
        player::TrackRecord record;
        bool readable = false;
    };
    void work();
    void stopAll();

    static constexpr size_t window = 256;
    std::vector<std::filesystem::path> files_;
    std::mutex mutex_;
    std::condition_variable ready_;                 // a result arrived
    std::condition_variable room_;                  // the consumer took one
    std::vector<std::unique_ptr<Result>> results_;  // guarded by mutex_
    size_t claimed_ = 0;                            // guarded by mutex_
    size_t delivered_ = 0;                          // guarded by mutex_
    bool stop_ = false;                             // guarded by mutex_
    bool failed_ = false;                           // guarded by mutex_
    std::vector<std::thread> threads_;
};

}  // namespace chartloom::library
