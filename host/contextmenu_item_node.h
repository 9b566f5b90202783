// One node of a context menu command set: a command, or a popup with children.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/service.h"
#include "host/string_receiver.h"
#include "host/track_list.h"

class contextmenu_item_node : public service_base {
public:
    static constexpr uint32_t type_command = 1;

    // [main thread] False: the node is not shown for these tracks and this caller.
    virtual bool getDisplayData(string_receiver& out, uint32_t& displayFlags,
                                const track_list& data, const GUID& caller) noexcept = 0;
    // [main thread]
    virtual void execute(const track_list& data, const GUID& caller) noexcept = 0;
    // [main thread]
    virtual bool getDescription(string_receiver& out) noexcept = 0;
    // [main thread]
    virtual uint32_t getType() noexcept = 0;
    // [main thread]
    virtual size_t childCount() noexcept = 0;
    // [main thread] Borrowed.
    virtual contextmenu_item_node* child(size_t index) noexcept = 0;
    // [main thread]
    virtual GUID getGuid() noexcept = 0;

protected:
    ~contextmenu_item_node() = default;
};
