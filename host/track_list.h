// Ordered lists of counted track handles. Lists handed in by the host are seen through the
// read-only `track_list` view; `track_list_sink` receives handles the host hands out.
#pragma once

#include <cstddef>
#include <vector>

#include "host/bit_array.h"
#include "host/metadb_handle.h"

class track_list {
public:
    // [any thread]
    virtual size_t count() const = 0;
    // [any thread] Borrowed: valid as long as the list holds it.
    virtual metadb_handle* item(size_t index) const = 0;

protected:
    ~track_list() = default;
};

class track_list_sink {
public:
    // [any thread] The sink takes its own reference.
    virtual void append(metadb_handle* handle) = 0;

protected:
    ~track_list_sink() = default;
};

// The owning list. Header-only: each side has its own copy of the code and only the two
// abstract views ever cross the boundary.
class metadb_handle_list final : public track_list, public track_list_sink {
public:
    metadb_handle_list() = default;
    explicit metadb_handle_list(const track_list& from) {
        items_.reserve(from.count());
        for (size_t i = 0; i < from.count(); ++i)
            items_.emplace_back(from.item(i));
    }

    size_t count() const override { return items_.size(); }
    metadb_handle* item(size_t index) const override { return items_[index].get(); }
    void append(metadb_handle* handle) override { items_.emplace_back(handle); }
    void append(const service_ptr<metadb_handle>& handle) { items_.push_back(handle); }
    void clear() { items_.clear(); }

    // Removes every item whose bit is set; the rest keep their order.
    void removeMask(const bit_array& mask) {
        size_t out = 0;
        for (size_t i = 0; i < items_.size(); ++i) {
            if (!mask.get(i)) {
                if (out != i)
                    items_[out] = std::move(items_[i]);
                ++out;
            }
        }
        items_.resize(out);
    }

private:
    std::vector<service_ptr<metadb_handle>> items_;
};
