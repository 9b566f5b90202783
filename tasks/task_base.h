// What the three background tasks share: the interface identity, and the one place that
// decides how an error leaves a task. Nothing a task raises crosses into the host's runner.
#pragma once

#include "host/threaded_process_callback.h"

namespace chartloom {

class TaskBase : public threaded_process_callback {
public:
    static constexpr GUID interface_guid = threaded_process_callback::class_guid;

    void onInit(WindowHandle parent) noexcept final;
    void run(TaskStatus& status, AbortSignal& abort) noexcept final;
    void onDone(WindowHandle parent, bool aborted) noexcept final;

protected:
    // [main thread]
    virtual void init() = 0;
    // [worker thread] Raises on failure. Answers whether done() may apply the result.
    virtual bool work(TaskStatus& status, AbortSignal& abort) = 0;
    // [main thread] `succeeded`: work() answered yes without raising.
    virtual void done(bool succeeded) = 0;
    // Whether the user's abort is shown like any other error; otherwise it ends the task
    // without a word.
    virtual bool showsAbort() const { return false; }

private:
    bool succeeded_ = false;
};

}  // namespace chartloom
