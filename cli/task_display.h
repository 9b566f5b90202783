// The task runner's dialog on stderr: title, status text and a progress bar where the task
// has one. On a terminal one line is redrawn; otherwise each status text gets its own line.
#pragma once

#include <cstdio>

#include "player/task_runner.h"

namespace chartloom::cli {

class TaskDisplay {
public:
    explicit TaskDisplay(std::FILE* out);
    // Called from the runner's threads, one at a time.
    void onEvent(const player::TaskEvent& event);

private:
    void redraw(const player::TaskRecord& record);

    std::FILE* out_;
    bool terminal_;
};

}  // namespace chartloom::cli
