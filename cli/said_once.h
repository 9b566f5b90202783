// Notices a person needs to read once, not on every command: what was said is remembered in
// ${XDG_STATE_HOME:-~/.local/state}/chartloom/said-once, by a key that changes when what it
// is about changes (a playlist file's size and time, for instance). Not thread-safe.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace chartloom::cli {

class SaidOnce {
public:
    // `file` empty: the usual place; without one, everything counts as new.
    explicit SaidOnce(std::filesystem::path file = defaultFile());
    // True the first time `key` comes (and remembers it).
    bool firstTime(const std::string& key);
    // Writes what was newly remembered; failures are ignored (the notice comes again).
    void save();

    static std::filesystem::path defaultFile();

private:
    std::filesystem::path file_;
    std::vector<uint64_t> known_;  // oldest first
    bool changed_ = false;
};

}  // namespace chartloom::cli
