#include "cli/scan_display.h"

#include <unistd.h>

#include "cli/progress_bar.h"
#include "toolbase/terminal_text.h"

namespace chartloom::cli {

namespace {

std::string clock(double seconds) {
    auto s = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

}  // namespace

ScanDisplay::ScanDisplay(std::FILE* out) : out_(out), terminal_(::isatty(fileno(out)) != 0) {}

ScanDisplay::~ScanDisplay() {
    finish();
}

library::ScanObserver ScanDisplay::observer() {
    return {[this](size_t done, size_t total) { progress(done, total); },
            [this](const std::string& text) { problem(text); }};
}

void ScanDisplay::progress(size_t done, size_t total) {
    auto now = Clock::now();
    if (done <= 1)
        started_ = now;  // the rate counts reading only, not the look through the folder
    auto interval = terminal_ ? std::chrono::milliseconds(100) : std::chrono::milliseconds(500);
    if (done != total && now - shown_ < interval)
        return;
    shown_ = now;
    double seconds = std::chrono::duration<double>(now - started_).count();
    double rate = seconds > 0 && done > 1 ? static_cast<double>(done - 1) / seconds : 0;
    std::string text = "scanning " + progressBar(done, total) + " " + std::to_string(done) + "/" +
                       std::to_string(total) + " files";
    if (rate > 0) {
        text += ", " + std::to_string(static_cast<long long>(rate + 0.5)) + " files/s, " +
                clock(static_cast<double>(total - done) / rate) + " left";
    }
    if (terminal_) {
        std::fprintf(out_, "\r\033[K%s", fitColumns(text, "", terminalColumns(out_)).c_str());
        showing_ = true;
    } else {
        std::fprintf(out_, "%s\n", text.c_str());
    }
    std::fflush(out_);
}

void ScanDisplay::problem(const std::string& text) {
    finish();
    std::fprintf(out_, "chartloom: %s\n", text.c_str());
}

void ScanDisplay::finish() {
    if (showing_) {
        std::fprintf(out_, "\r\033[K");
        std::fflush(out_);
        showing_ = false;
    }
}

}  // namespace chartloom::cli
