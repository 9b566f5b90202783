#include "component/about.h"

#include "pluginbase/host_access.h"

namespace chartloom {

// The stamp is the compile moment; __DATE__ pads the day with a space, as the stamp wants.
const char* aboutText() {
    return "Downloads charts from last.fm and creates a playlist according to them\n"
           "Written by the Chartloom developers\n" __DATE__ " - " __TIME__;
}

bool componentversion_impl_simple::service_query(service_base*& out, const GUID& guid) noexcept {
    return answer_query<componentversion>(this, out, guid);
}

void componentversion_impl_simple::fileName(string_receiver& out) noexcept {
    try {
        std::string name = libraryFileName();
        out.set(name.c_str(), name.size());
    } catch (...) {
        out.set("", 0);
    }
}

void componentversion_impl_simple::componentName(string_receiver& out) noexcept {
    out.set(component_name, none);
}

void componentversion_impl_simple::version(string_receiver& out) noexcept {
    out.set(component_version, none);
}

void componentversion_impl_simple::aboutText(string_receiver& out) noexcept {
    out.set(chartloom::aboutText(), none);
}

}  // namespace chartloom
