// A background task as the host's TaskRunner runs it: onInit, run, onDone, one after another.
#pragma once

#include "host/abort_signal.h"
#include "host/service.h"
#include "host/task_status.h"
#include "host/types.h"

class threaded_process_callback : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{7B69141B-4271-4070-8998-10CD39249C12}");

    // [main thread] Before `run`.
    virtual void onInit(WindowHandle parent) noexcept = 0;
    // [worker thread] The runner's worker thread. Must not throw.
    virtual void run(TaskStatus& status, AbortSignal& abort) noexcept = 0;
    // [main thread] After `run`.
    virtual void onDone(WindowHandle parent, bool aborted) noexcept = 0;

protected:
    ~threaded_process_callback() = default;
};
