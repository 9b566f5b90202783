// What the three background tasks share: the interface identity and the guard that keeps
// errors from crossing into the host's task runner.
#pragma once

#include "host/task.h"

namespace chartloom {

class TaskBase : public threaded_process_callback {
public:
    static constexpr GUID interface_guid = threaded_process_callback::class_guid;

    void onInit(WindowHandle parent) noexcept final;
    void run(TaskStatus& status, AbortSignal& abort) noexcept final;
    void onDone(WindowHandle parent, bool aborted) noexcept final;

protected:
    // Main thread.
    virtual void init() = 0;
    // Worker thread. Handles its own errors; anything it lets through is shown to the user.
    virtual void work(TaskStatus& status, AbortSignal& abort) = 0;
    // Main thread.
    virtual void done() = 0;
};

}  // namespace chartloom
