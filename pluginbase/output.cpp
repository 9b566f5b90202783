#include "pluginbase/output.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>

#include "host/console_receiver.h"
#include "host/popup_service.h"
#include "host/service_lookup.h"
#include "host/shared_functions.h"
#include "host/string_value.h"
#include "pluginbase/host_access.h"

namespace chartloom {

void consoleLine(const char* text) {
    if (!servicesInitialised() || !hasHost())
        return;
    HostApi& api = hostApi();
    service_class_ref cls = api.findServiceClass(ConsoleReceiver::class_guid);
    if (!cls)
        return;
    service_base* instance = nullptr;
    for (size_t n = 0; api.createService(cls, n, instance) && instance; ++n) {
        auto receiver =
            service_ptr<ConsoleReceiver>::adopt(static_cast<ConsoleReceiver*>(instance));
        receiver->print(text, none);
        instance = nullptr;
    }
}

void consoleLineFormatted(const char* format, ...) {
    string_value line;
    va_list args;
    va_start(args, format);
    uPrintfV(line, format, args);
    va_end(args);
    consoleLine(line.value.c_str());
}

void consoleErrorLine(const char* text) noexcept {
    // Built on the stack, so that reporting a failed allocation allocates nothing; a text too
    // long for it is cut.
    static constexpr char prefix[] = "ERROR : ";
    char line[1024];
    size_t length = std::strlen(text);
    size_t kept = std::min(length, sizeof line - sizeof prefix);
    std::memcpy(line, prefix, sizeof prefix - 1);
    std::memcpy(line + sizeof prefix - 1, text, kept);
    line[sizeof prefix - 1 + kept] = '\0';
    try {
        consoleLine(line);
    } catch (...) {
        // Nowhere else to say it.
    }
}

void errorMessageBox(const char* text) noexcept {
    try {
        lookupService<PopupService>(hostApi())->show(text, "foo_chartloom: Error",
                                                     PopupService::kind_error);
    } catch (...) {
        // Called from error paths that must not raise again; the console still tells the user.
        consoleErrorLine(text);
    }
}

}  // namespace chartloom
