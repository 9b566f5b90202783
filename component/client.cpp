// The client record and the one export.
#include <cstdint>
#include <cstring>
#include <exception>

#include "component/errors.h"
#include "component/factory_list.h"
#include "component/host_access.h"
#include "host/client.h"

namespace chartloom {
namespace {

void readExact(config_stream_reader& in, void* buffer, size_t bytes) {
    if (in.read(buffer, bytes) != bytes)
        throw exception_io_data_truncation();
}

// The component registers no settings: every record is skipped by its size.
void skipSettings(config_stream_reader& in) {
    for (;;) {
        unsigned char guid[16];
        if (in.read(guid, sizeof guid) < sizeof guid)
            return;
        unsigned char size[4];
        readExact(in, size, sizeof size);
        uint32_t payload = uint32_t{size[0]} | uint32_t{size[1]} << 8 | uint32_t{size[2]} << 16 |
                           uint32_t{size[3]} << 24;
        in.skip(payload);
    }
}

class Client final : public foobar2000_client {
public:
    uint32_t interfaceVersion() noexcept override { return interface_version; }
    service_factory_base* factoryList() noexcept override { return factoryListHead(); }
    void writeConfiguration(config_stream_writer&) noexcept override {}
    void readConfiguration(config_stream_reader& in) noexcept override {
        try {
            skipSettings(in);
        } catch (const std::exception&) {
            // A truncated stream holds nothing of ours: there is nothing to restore.
        }
    }
    void setLibraryPath(const char* path, const char* fileName) noexcept override {
        try {
            chartloom::setLibraryPath(path, fileName);
        } catch (const std::exception&) {
        }
    }
    void servicesInitialised(bool initialised) noexcept override {
        setServicesInitialised(initialised);
    }
    bool isDebugBuild() noexcept override { return false; }
};

Client g_client;

}  // namespace
}  // namespace chartloom

extern "C" __attribute__((visibility("default"))) foobar2000_client* foobar2000_get_interface(
    HostApi* api, void* moduleInstance) {
    chartloom::attachHost(api, moduleInstance);
    return &chartloom::g_client;
}
