// The plug-in side of a flat command set: one leaf node per item, forwarding to its set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "host/contextmenu_item.h"

class contextmenu_item_simple : public contextmenu_item {
public:
    // [main thread] Not shown for an empty track list, else the display text's answer.
    virtual bool displayQuery(size_t index, const track_list& data, string_receiver& out,
                              uint32_t& displayFlags, const GUID& caller) noexcept {
        if (data.count() == 0)
            return false;
        return displayText(index, data, out, displayFlags, caller);
    }
    // [main thread]
    virtual void command(size_t index, const track_list& data, const GUID& caller) noexcept = 0;
    // [main thread]
    virtual bool displayText(size_t index, const track_list& data, string_receiver& out,
                             uint32_t& displayFlags, const GUID& caller) noexcept = 0;

    contextmenu_item_node* makeNode(size_t index) noexcept override;
    void itemExecute(size_t index, const GUID& node, const track_list& data,
                     const GUID& caller) noexcept override {
        if (node == null_guid)
            command(index, data, caller);
    }
    bool itemForwardsQuery(size_t) noexcept override { return true; }

protected:
    ~contextmenu_item_simple() = default;
};

// Leaf node: holds a reference to its command set and forwards to it with its index.
class contextmenu_item_node_impl final : public contextmenu_item_node {
public:
    contextmenu_item_node_impl(contextmenu_item_simple* owner, size_t index)
        : owner_(owner), index_(index) {}

    // Main thread only, like every menu call, so the count needs no atomics.
    int service_add_ref() noexcept override { return ++refs_; }
    int service_release() noexcept override {
        int left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }
    bool service_query(service_base*& out, const GUID&) noexcept override {
        out = nullptr;
        return false;
    }
    bool getDisplayData(string_receiver& out, uint32_t& displayFlags, const track_list& data,
                        const GUID& caller) noexcept override {
        return owner_->displayQuery(index_, data, out, displayFlags, caller);
    }
    void execute(const track_list& data, const GUID& caller) noexcept override {
        owner_->itemExecute(index_, null_guid, data, caller);
    }
    bool getDescription(string_receiver& out) noexcept override {
        return owner_->itemDescription(index_, out);
    }
    uint32_t getType() noexcept override { return type_command; }
    size_t childCount() noexcept override { return 0; }
    contextmenu_item_node* child(size_t) noexcept override { return nullptr; }
    GUID getGuid() noexcept override { return null_guid; }

private:
    ~contextmenu_item_node_impl() = default;
    service_ptr<contextmenu_item_simple> owner_;
    size_t index_;
    int refs_ = 0;
};

inline contextmenu_item_node* contextmenu_item_simple::makeNode(size_t index) noexcept {
    auto* node = new (std::nothrow) contextmenu_item_node_impl(this, index);
    if (node)
        node->service_add_ref();
    return node;
}
