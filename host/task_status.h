// The status line and progress bar of a running task's dialog.
#pragma once

#include <cstdint>

class TaskStatus {
public:
    static constexpr uint32_t progress_max = 5000;

    // [worker thread] Of the running task only; 0..progress_max.
    virtual void setProgress(uint32_t value) = 0;
    // [worker thread]
    virtual void setStatusText(const char* text) = 0;
    // [worker thread] Makes the dialog show the latest status at once.
    virtual void refresh() = 0;

protected:
    ~TaskStatus() = default;
};
