// Background tasks run by the host's modal task runner.
#pragma once

#include <cstdint>

#include "host/service.h"
#include "host/types.h"

class TaskStatus {
public:
    static constexpr uint32_t progress_max = 5000;
    // Worker thread of the running task only.
    virtual void setProgress(uint32_t value) = 0;  // 0..progress_max
    virtual void setStatusText(const char* text) = 0;
    // Makes the dialog show the latest status at once.
    virtual void refresh() = 0;

protected:
    ~TaskStatus() = default;
};

class AbortSignal {
public:
    // Any thread.
    virtual bool isAborted() const = 0;

protected:
    ~AbortSignal() = default;
};

class threaded_process_callback : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{7B69141B-4271-4070-8998-10CD39249C12}");

    // Main thread, before `run`.
    virtual void onInit(WindowHandle parent) noexcept = 0;
    // The runner's worker thread. Must not throw.
    virtual void run(TaskStatus& status, AbortSignal& abort) noexcept = 0;
    // Main thread, after `run`.
    virtual void onDone(WindowHandle parent, bool aborted) noexcept = 0;

protected:
    ~threaded_process_callback() = default;
};
