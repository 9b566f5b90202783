// What a plug-in hands the host through its one export: the client record and, from it, the
// list of service factories.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_api.h"
#include "host/service.h"

class service_factory_base {
public:
    // Main thread. On yes `out` holds a new reference to the service this record carries.
    virtual bool createInstance(service_base*& out) noexcept = 0;
    virtual service_factory_base* next() const noexcept = 0;
    virtual GUID serviceClass() const noexcept = 0;

protected:
    ~service_factory_base() = default;
};

// Settings streams. Main thread.
class config_stream_reader {
public:
    // Reads up to `bytes`; answers how many arrived (fewer only at the end).
    virtual size_t read(void* buffer, size_t bytes) = 0;
    // Skips up to `bytes`; answers how many were skipped.
    virtual size_t skip(size_t bytes) = 0;

protected:
    ~config_stream_reader() = default;
};

class config_stream_writer {
public:
    virtual void write(const void* buffer, size_t bytes) = 0;

protected:
    ~config_stream_writer() = default;
};

// Every operation: main thread, in any order the host likes after the export returned.
class foobar2000_client {
public:
    static constexpr uint32_t interface_version = 72;

    virtual uint32_t interfaceVersion() noexcept = 0;
    virtual service_factory_base* factoryList() noexcept = 0;
    virtual void writeConfiguration(config_stream_writer& out) noexcept = 0;
    virtual void readConfiguration(config_stream_reader& in) noexcept = 0;
    virtual void setLibraryPath(const char* path, const char* fileName) noexcept = 0;
    virtual void servicesInitialised(bool initialised) noexcept = 0;
    virtual bool isDebugBuild() noexcept = 0;

protected:
    ~foobar2000_client() = default;
};

inline constexpr const char* client_export_name = "foobar2000_get_interface";
// Main thread, once after loading.
using foobar2000_get_interface_t = foobar2000_client* (*)(HostApi* api, void* moduleInstance);
