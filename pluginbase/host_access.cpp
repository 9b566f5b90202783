#include "pluginbase/host_access.h"

#include <atomic>
#include <mutex>

#include "host/exceptions.h"

namespace chartloom {
namespace {

std::atomic<HostApi*> g_host{nullptr};
std::atomic<bool> g_servicesInitialised{false};
std::mutex g_fileNameMutex;
std::string g_libraryFileName;

}  // namespace

HostApi& hostApi() {
    HostApi* api = g_host.load(std::memory_order_acquire);
    if (!api)
        throw exception_service_not_found();
    return *api;
}

bool hasHost() {
    return g_host.load(std::memory_order_acquire) != nullptr;
}

void attachHost(HostApi* api) {
    g_host.store(api, std::memory_order_release);
}

bool servicesInitialised() {
    return g_servicesInitialised.load(std::memory_order_acquire);
}

void setServicesInitialised(bool initialised) {
    g_servicesInitialised.store(initialised, std::memory_order_release);
}

void setLibraryFileName(const char* fileName) {
    std::lock_guard lock(g_fileNameMutex);
    g_libraryFileName = fileName ? fileName : "";
}

std::string libraryFileName() {
    std::lock_guard lock(g_fileNameMutex);
    return g_libraryFileName;
}

}  // namespace chartloom
