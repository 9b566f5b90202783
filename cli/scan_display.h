// What a folder scan shows on a stream: a progress bar with count, rate and time left on a
// terminal, a line every half second elsewhere, and one line per problem. [one thread]
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "library/folder_scan.h"

namespace chartloom::cli {

class ScanDisplay {
public:
    explicit ScanDisplay(std::FILE* out);
    ~ScanDisplay();
    ScanDisplay(const ScanDisplay&) = delete;
    ScanDisplay& operator=(const ScanDisplay&) = delete;

    library::ScanObserver observer();
    // Clears the bar; call before writing anything else to the stream.
    void finish();

private:
    void progress(size_t done, size_t total);
    void problem(const std::string& text);

    using Clock = std::chrono::steady_clock;
    std::FILE* out_;
    bool terminal_;
    bool showing_ = false;
    Clock::time_point started_ = Clock::now();
    Clock::time_point shown_{};
};

}  // namespace chartloom::cli
