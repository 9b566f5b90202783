// The service factory records the component registers, linked at the head as each is built.
#pragma once

#include "host/client.h"

namespace chartloom {

// Head of the list; null until the first record is built.
service_factory_base* factoryListHead();

// Links itself in at construction. Holds nothing itself; see the records in factory_list.cpp.
class ServiceFactoryRecord : public service_factory_base {
public:
    ServiceFactoryRecord();
    service_factory_base* next() const noexcept override { return next_; }

private:
    service_factory_base* next_;
};

}  // namespace chartloom
