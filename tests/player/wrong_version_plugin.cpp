// A plug-in built for another interface version: the host must refuse it.
#include "host/client.h"

namespace {

class OldClient final : public foobar2000_client {
public:
    uint32_t interfaceVersion() noexcept override { return 71; }
    service_factory_base* factoryList() noexcept override { return nullptr; }
    void writeConfiguration(config_stream_writer&) noexcept override {}
    void readConfiguration(config_stream_reader&) noexcept override {}
    void setLibraryPath(const char*, const char*) noexcept override { ++calls; }
    void servicesInitialised(bool) noexcept override { ++calls; }
    bool isDebugBuild() noexcept override { return false; }
    int calls = 0;
};

OldClient g_client;

}  // namespace

extern "C" __attribute__((visibility("default"))) foobar2000_client* foobar2000_get_interface(
    HostApi*, void*) {
    return &g_client;
}
