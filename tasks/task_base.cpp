#include "tasks/task_base.h"

#include <exception>
#include <new>

#include "pluginbase/errors.h"
#include "pluginbase/output.h"

namespace chartloom {
namespace {

// Every error that reaches here is shown in the error message box.
template <class F>
void guarded(F&& body) noexcept {
    try {
        body();
    } catch (const std::bad_alloc&) {
        errorMessageBox("Out of memory");
    } catch (const std::exception& e) {
        errorMessageBox(e.what());
    } catch (...) {
        errorMessageBox("unawaited exception");
    }
}

}  // namespace

void TaskBase::onInit(WindowHandle) noexcept {
    guarded([&] { init(); });
}

void TaskBase::run(TaskStatus& status, AbortSignal& abort) noexcept {
    succeeded_ = false;
    guarded([&] {
        try {
            succeeded_ = work(status, abort);
        } catch (const exception_aborted&) {
            if (showsAbort())
                throw;
        }
    });
}

void TaskBase::onDone(WindowHandle, bool) noexcept {
    guarded([&] { done(succeeded_); });
}

}  // namespace chartloom
