// What PlaylistService::enumerateItems calls for each item it walks.
#pragma once

#include <cstddef>

#include "host/metadb_handle.h"

class playlist_item_visitor {
public:
    // [main thread] The handle is borrowed for the call. Answer false to stop the walk.
    virtual bool visit(size_t index, metadb_handle* handle, bool selected) = 0;

protected:
    ~playlist_item_visitor() = default;
};
