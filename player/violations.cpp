#include "player/violations.h"

#include <cstdio>
#include <utility>

namespace player {

void Violations::report(std::string what) {
    std::lock_guard lock(mutex_);
    if (!quiet_)
        std::fprintf(stderr, "host: plug-in misuse: %s\n", what.c_str());
    list_.push_back(std::move(what));
}

std::vector<std::string> Violations::list() const {
    std::lock_guard lock(mutex_);
    return list_;
}

std::vector<std::string> Violations::take() {
    std::lock_guard lock(mutex_);
    return std::exchange(list_, {});
}

void Violations::setQuiet(bool quiet) {
    std::lock_guard lock(mutex_);
    quiet_ = quiet;
}

}  // namespace player
