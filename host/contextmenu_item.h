// A context menu command set, as a plug-in registers it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/contextmenu_item_node.h"
#include "host/service.h"
#include "host/string_receiver.h"
#include "host/track_list.h"

class contextmenu_item : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{1C0802F7-CF24-49EF-B914-8B9866F19779}");
    // The caller identity of a menu opened on items of a playlist view.
    static constexpr GUID caller_playlist = parseGuid("{47502BA1-816D-4A3E-ADE5-A7A9860A67DB}");
    static constexpr uint32_t state_default_on = 2;

    // [main thread]
    virtual size_t itemCount() noexcept = 0;
    // [main thread] A new reference to the menu node of item `index`.
    virtual contextmenu_item_node* makeNode(size_t index) noexcept = 0;
    // [main thread]
    virtual GUID itemGuid(size_t index) noexcept = 0;
    // [main thread]
    virtual void itemName(size_t index, string_receiver& out) noexcept = 0;
    // [main thread]
    virtual void itemDefaultPath(size_t index, string_receiver& out) noexcept = 0;
    // [main thread]
    virtual bool itemDescription(size_t index, string_receiver& out) noexcept = 0;
    // [main thread]
    virtual uint32_t enabledState(size_t index) noexcept = 0;
    // [main thread] Runs item `index` when `node` is the null GUID.
    virtual void itemExecute(size_t index, const GUID& node, const track_list& data,
                             const GUID& caller) noexcept = 0;
    // [main thread]
    virtual bool itemForwardsQuery(size_t index) noexcept = 0;

protected:
    ~contextmenu_item() = default;
};
