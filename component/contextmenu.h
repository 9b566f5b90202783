// The command set: four context menu items that name the selection's artist.
#pragma once

#include "component/contextmenu_item_simple.h"

namespace chartloom {

class my_contextmenu final : public contextmenu_item_simple {
public:
    static constexpr size_t item_count = 4;

    // A process-wide singleton: counting does nothing.
    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID& guid) noexcept override;

    size_t itemCount() noexcept override { return item_count; }
    GUID itemGuid(size_t index) noexcept override;
    void itemName(size_t index, string_receiver& out) noexcept override;
    void itemDefaultPath(size_t index, string_receiver& out) noexcept override;
    bool itemDescription(size_t index, string_receiver& out) noexcept override;
    uint32_t enabledState(size_t index) noexcept override;

    void command(size_t index, const track_list& data, const GUID& caller) noexcept override;
    bool displayText(size_t index, const track_list& data, string_receiver& out,
                     uint32_t& displayFlags, const GUID& caller) noexcept override;
};

}  // namespace chartloom
