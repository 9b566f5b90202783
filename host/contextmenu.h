// Context menu command sets, their menu nodes, and the simple base a plug-in derives from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "host/service.h"
#include "host/string_receiver.h"
#include "host/track_list.h"

// Every operation: main thread.
class contextmenu_item_node : public service_base {
public:
    static constexpr uint32_t type_command = 1;

    // False: the node is not shown for these tracks and this caller.
    virtual bool getDisplayData(string_receiver& out, uint32_t& displayFlags,
                                const track_list& data, const GUID& caller) noexcept = 0;
    virtual void execute(const track_list& data, const GUID& caller) noexcept = 0;
    virtual bool getDescription(string_receiver& out) noexcept = 0;
    virtual uint32_t getType() noexcept = 0;
    virtual size_t childCount() noexcept = 0;
    virtual contextmenu_item_node* child(size_t index) noexcept = 0;  // borrowed
    virtual GUID getGuid() noexcept = 0;

protected:
    ~contextmenu_item_node() = default;
};

// Every operation: main thread.
class contextmenu_item : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{1C0802F7-CF24-49EF-B914-8B9866F19779}");
    // The caller identity of a menu opened on items of a playlist view.
    static constexpr GUID caller_playlist = parseGuid("{47502BA1-816D-4A3E-ADE5-A7A9860A67DB}");
    static constexpr uint32_t state_default_on = 2;

    virtual size_t itemCount() noexcept = 0;
    // A new reference to the menu node of item `index`.
    virtual contextmenu_item_node* makeNode(size_t index) noexcept = 0;
    virtual GUID itemGuid(size_t index) noexcept = 0;
    virtual void itemName(size_t index, string_receiver& out) noexcept = 0;
    virtual void itemDefaultPath(size_t index, string_receiver& out) noexcept = 0;
    virtual bool itemDescription(size_t index, string_receiver& out) noexcept = 0;
    virtual uint32_t enabledState(size_t index) noexcept = 0;
    // Runs item `index` when `node` is the null GUID.
    virtual void itemExecute(size_t index, const GUID& node, const track_list& data,
                             const GUID& caller) noexcept = 0;
    virtual bool itemForwardsQuery(size_t index) noexcept = 0;

protected:
    ~contextmenu_item() = default;
};

// The plug-in side of a flat command set: one leaf node per item.
class contextmenu_item_simple : public contextmenu_item {
public:
    // Display query: not shown for an empty track list, else the display text's answer.
    virtual bool displayQuery(size_t index, const track_list& data, string_receiver& out,
                              uint32_t& displayFlags, const GUID& caller) noexcept {
        if (data.count() == 0)
            return false;
        return displayText(index, data, out, displayFlags, caller);
    }
    virtual void command(size_t index, const track_list& data, const GUID& caller) noexcept = 0;
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
