#include "cli/task_display.h"

#include <unistd.h>

#include <string>

#include "cli/progress_bar.h"
#include "toolbase/terminal_text.h"

namespace chartloom::cli {

TaskDisplay::TaskDisplay(std::FILE* out) : out_(out), terminal_(::isatty(fileno(out)) != 0) {}

namespace {

// On a terminal the line is cut to its width, the bar kept whole.
std::string line(const player::TaskRecord& r, size_t columns = 0) {
    std::string text = printable(r.title);
    if (!r.statusTexts.empty())
        text += ": " + printable(r.statusTexts.back());
    std::string bar;
    if ((r.flags & TaskRunner::flag_show_progress) && !r.progress.empty())
        bar = " " + progressBar(r.progress.back(), TaskStatus::progress_max);
    return columns ? fitColumns(text, bar, columns) : text + bar;
}

}  // namespace

void TaskDisplay::redraw(const player::TaskRecord& record) {
    std::fprintf(out_, "\r\033[K%s", line(record, terminalColumns(out_)).c_str());
    std::fflush(out_);
}

void TaskDisplay::onEvent(const player::TaskEvent& e) {
    using Kind = player::TaskEvent::Kind;
    if (terminal_) {
        // The last state stays on screen: a finished bar shows 100 %.
        if (e.kind == Kind::closed) {
            std::fprintf(out_, "\n");
            std::fflush(out_);
        } else if (e.kind != Kind::ranOut) {
            redraw(e.record);
        }
        return;
    }
    // A line per status text, and one when the bar is full, so the log ends at 100 %.
    bool full = e.kind == Kind::progress && !e.record.progress.empty() &&
                e.record.progress.back() == TaskStatus::progress_max;
    if (e.kind == Kind::opened || e.kind == Kind::status || full) {
        std::fprintf(out_, "%s\n", line(e.record).c_str());
        std::fflush(out_);
    }
}

}  // namespace chartloom::cli
