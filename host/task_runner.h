// The host's modal runner of background tasks.
#pragma once

#include <cstdint>

#include "host/service.h"
#include "host/threaded_process_callback.h"
#include "host/types.h"

class TaskRunner : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{9DBC262F-4795-4292-824B-23A655011A3E}");
    static constexpr uint32_t flag_show_abort = 0x01;
    static constexpr uint32_t flag_show_progress = 0x04;
    static constexpr uint32_t flag_show_status = 0x10;

    // [main thread] Modal: onInit here, run on a worker thread, onDone here, then returns.
    // The runner holds its own reference to the task while it runs.
    virtual bool runTask(threaded_process_callback* task, uint32_t flags, WindowHandle parent,
                         const char* title) = 0;

protected:
    ~TaskRunner() = default;
};
