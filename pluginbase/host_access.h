// The host application object the export received, and the client state the host sets.
#pragma once

#include <string>

#include "host/host_api.h"

namespace chartloom {

// [any thread] Once the export has been called. Raises "Service not found" before that.
HostApi& hostApi();
// [any thread]
bool hasHost();
// [main thread] The export hands it over.
void attachHost(HostApi* api);

// [any thread] Console output is sent only while this is set.
bool servicesInitialised();
// [main thread]
void setServicesInitialised(bool initialised);

// [main thread] The plug-in's own file name, as the host handed it over ("" before that).
void setLibraryFileName(const char* fileName);
std::string libraryFileName();

}  // namespace chartloom
