#include "component/factory_list.h"

#include "component/about.h"
#include "component/contextmenu.h"

namespace chartloom {
namespace {

constinit service_factory_base* g_head = nullptr;

// The about record is its own factory.
class AboutFactory final : public ServiceFactoryRecord, public componentversion_impl_simple {
public:
    bool createInstance(service_base*& out) noexcept override {
        out = static_cast<componentversion*>(this);
        return true;
    }
    GUID serviceClass() const noexcept override { return componentversion::class_guid; }
};

class CommandSetFactory final : public ServiceFactoryRecord {
public:
    bool createInstance(service_base*& out) noexcept override {
        out = &commands_;
        return true;
    }
    GUID serviceClass() const noexcept override { return contextmenu_item::class_guid; }

private:
    my_contextmenu commands_;
};

// Built in this order, so the list reads: command set, then about record.
AboutFactory g_aboutFactory;
CommandSetFactory g_commandSetFactory;

}  // namespace

ServiceFactoryRecord::ServiceFactoryRecord() : next_(g_head) {
    g_head = this;
}

service_factory_base* factoryListHead() {
    return g_head;
}

}  // namespace chartloom
