// The player's media library.
#pragma once

#include "host/service.h"
#include "host/track_list.h"

class LibraryService : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{FEBD85B5-C12D-45B5-B55D-0D3F432B0C6B}");

    // [any thread] Appends every library track to `out`, in library order.
    virtual void allItems(track_list_sink& out) = 0;

protected:
    ~LibraryService() = default;
};
