#include "tasks/task_base.h"

#include <exception>

#include "component/output.h"

namespace chartloom {
namespace {

template <class F>
void guarded(F&& body) noexcept {
    try {
        body();
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
    guarded([&] { work(status, abort); });
}

void TaskBase::onDone(WindowHandle, bool) noexcept {
    guarded([&] { done(); });
}

}  // namespace chartloom
