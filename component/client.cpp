// The client record and the one export.
#include <cstdint>
#include <cstring>
#include <exception>

#include "component/factory_list.h"
#include "host/client.h"
#include "pluginbase/host_access.h"

namespace chartloom {
namespace {

// The component registers no settings: every record is skipped by its size. A stream cut short
// holds nothing of ours, so its end, wherever it falls, ends the reading.
void skipSettings(config_stream_reader& in) {
    for (;;) {
        unsigned char guid[16];
        if (in.read(guid, sizeof guid) < sizeof guid)
            return;
        unsigned char size[4];
        if (in.read(size, sizeof size) != sizeof size)
            return;
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
        } catch (...) {
            // The host's stream failed: there is nothing of ours to restore either way.
        }
    }
    void setLibraryPath(const char*, const char* fileName) noexcept override {
        try {
            setLibraryFileName(fileName);
        } catch (...) {
            // Out of memory: the about record then reports no file name.
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
    HostApi* api, void* /*moduleInstance: nothing here needs it*/) {
    chartloom::attachHost(api);
    return &chartloom::g_client;
}
