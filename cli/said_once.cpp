#include "cli/said_once.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <sstream>
#include <system_error>

#include "playlists/file_replace.h"
#include "toolbase/xdg_dirs.h"

namespace chartloom::cli {
namespace {

constexpr size_t kRemembered = 4096;  // the oldest are forgotten past this

uint64_t hashOf(const std::string& key) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : key) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

}  // namespace

std::filesystem::path SaidOnce::defaultFile() {
    std::filesystem::path state = chartloomDir(XdgDir::state);
    return state.empty() ? state : state / "said-once";
}

SaidOnce::SaidOnce(std::filesystem::path file) : file_(std::move(file)) {
    std::string text;
    std::error_code ec;
    try {
        if (file_.empty() || !playlists::readWholeFile(file_, text))
            return;
    } catch (const std::system_error&) {
        return;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        uint64_t value = 0;
        if (std::sscanf(line.c_str(), "%" SCNx64, &value) == 1)
            known_.push_back(value);
    }
}

bool SaidOnce::firstTime(const std::string& key) {
    uint64_t h = hashOf(key);
    if (std::find(known_.begin(), known_.end(), h) != known_.end())
        return false;
    known_.push_back(h);
    changed_ = true;
    return true;
}

void SaidOnce::save() {
    if (!changed_ || file_.empty())
        return;
    size_t from = known_.size() > kRemembered ? known_.size() - kRemembered : 0;
    std::string text;
    char line[24];
    for (size_t i = from; i < known_.size(); ++i) {
        std::snprintf(line, sizeof line, "%016" PRIx64 "\n", known_[i]);
        text += line;
    }
    try {
        std::filesystem::create_directories(file_.parent_path());
        playlists::replaceFileContents(file_, text);
        changed_ = false;
    } catch (const std::exception&) {
        // Not remembered: the notice comes again next time, which is no harm.
    }
}

}  // namespace chartloom::cli
