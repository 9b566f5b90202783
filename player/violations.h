// The host's record of plug-in misuse: a TrackInfo read without the lock, a call from the
// wrong thread, a reference released once too often, a reorder that does not fit. Each is
// printed at once and kept, so the test that caused it fails.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace player {

class Violations {
public:
    void report(std::string what);
    std::vector<std::string> list() const;
    // Answers what was recorded and forgets it.
    std::vector<std::string> take();
    void setQuiet(bool quiet);

private:
    mutable std::mutex mutex_;
    std::vector<std::string> list_;
    bool quiet_ = false;
};

}  // namespace player
