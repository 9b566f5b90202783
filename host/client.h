// What a plug-in hands the host through its one export: the client record, and from it the
// list of service factories.
#pragma once

#include <cstdint>

#include "host/config_stream.h"
#include "host/host_api.h"
#include "host/service_factory.h"

class foobar2000_client {
public:
    static constexpr uint32_t interface_version = 72;

    // [main thread] Every operation, in any order the host likes after the export returned.
    virtual uint32_t interfaceVersion() noexcept = 0;
    // [main thread]
    virtual service_factory_base* factoryList() noexcept = 0;
    // [main thread]
    virtual void writeConfiguration(config_stream_writer& out) noexcept = 0;
    // [main thread]
    virtual void readConfiguration(config_stream_reader& in) noexcept = 0;
    // [main thread]
    virtual void setLibraryPath(const char* path, const char* fileName) noexcept = 0;
    // [main thread]
    virtual void servicesInitialised(bool initialised) noexcept = 0;
    // [main thread]
    virtual bool isDebugBuild() noexcept = 0;

protected:
    ~foobar2000_client() = default;
};

inline constexpr const char* client_export_name = "foobar2000_get_interface";
// [main thread] Once, after loading.
using foobar2000_get_interface_t = foobar2000_client* (*)(HostApi* api, void* moduleInstance);
