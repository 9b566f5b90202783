#include "library/tag_reader_pool.h"

#include <new>
#include <stdexcept>

#include "library/audio_tags.h"

namespace chartloom::library {

TagReaderPool::TagReaderPool(std::vector<std::filesystem::path> files, unsigned threads)
    : files_(std::move(files)), results_(files_.size()) {
    unsigned n = std::max(1u, threads);
    if (n > files_.size())
        n = static_cast<unsigned>(std::max<size_t>(1, files_.size()));
    try {
        for (unsigned i = 0; i < n; ++i)
            threads_.emplace_back([this] { work(); });
    } catch (...) {
        stopAll();
        throw;
    }
}

TagReaderPool::~TagReaderPool() {
    stopAll();
}

void TagReaderPool::stopAll() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    room_.notify_all();
    for (auto& t : threads_) {
        if (t.joinable())
            t.join();
    }
}

void TagReaderPool::work() {
    for (;;) {
        size_t i;
        {
            std::unique_lock lock(mutex_);
            room_.wait(lock, [&] {
                return stop_ || claimed_ >= files_.size() || claimed_ < delivered_ + window;
            });
            if (stop_ || claimed_ >= files_.size())
                return;
            i = claimed_++;
        }
        std::unique_ptr<Result> result;
        bool failed = false;
        try {
            result = std::make_unique<Result>();
            try {
                result->readable = readAudioTags(files_[i], result->record);
            } catch (const std::exception&) {
                result->record.clear();  // a file that breaks the reader counts as unreadable
                result->readable = false;
            }
        } catch (...) {
            failed = true;  // out of memory: the consumer raises it
        }
        {
            std::lock_guard lock(mutex_);
            results_[i] = std::move(result);
            failed_ = failed_ || failed;
        }
        ready_.notify_all();
    }
}

bool TagReaderPool::next(player::TrackRecord& out) {
    std::unique_ptr<Result> result;
    {
        std::unique_lock lock(mutex_);
        if (delivered_ >= files_.size())
            throw std::logic_error("TagReaderPool::next past the last file");
        ready_.wait(lock, [&] { return failed_ || results_[delivered_] != nullptr; });
        if (failed_)
            throw std::bad_alloc();
        result = std::move(results_[delivered_++]);
    }
    room_.notify_all();
    std::swap(out, result->record);
    return result->readable;
}

}  // namespace chartloom::library
