// The host application object the export received, and the client state the host sets.
#pragma once

#include <string>

#include "host/host_api.h"

namespace chartloom {

// Any thread, once the export has been called. Raises "Service not found" before that.
HostApi& hostApi();
bool hasHost();
// Main thread: the export hands these over.
void attachHost(HostApi* api, void* moduleInstance);

// Console output is sent only while this is set. Any thread may read it.
bool servicesInitialised();
void setServicesInitialised(bool initialised);

// Main thread.
void setLibraryPath(const char* path, const char* fileName);
std::string libraryFileName();

}  // namespace chartloom
