#include "component/contextmenu.h"

#include <exception>
#include <string>

#include "component/commands.h"
#include "pluginbase/dominant_artist.h"
#include "pluginbase/output.h"

namespace chartloom {
namespace {

struct MenuItem {
    const char* name;
    const char* description;
    GUID guid;
    const char* prefix;  // before the artist
    const char* suffix;  // after the artist and its possessive
};

constexpr MenuItem items[my_contextmenu::item_count] = {
    {"Artist Charts Playlist", "Generates a playlist from the Artist's charts on Last.fm",
     parseGuid("{BC67ADA6-CF35-4101-8630-6DBBFE5BCEA5}"), "", " Charts Playlist"},
    {"Sort by Artist Charts", "Sorts the tracks according to the Artist's charts on Last.fm",
     parseGuid("{239CF925-EA60-44A6-A69C-61F4D77CC5F3}"), "Sort by ", " Charts"},
    {"Similar Charts Playlist",
     "Generates a playlist from the Artist's similar artist charts on Last.fm",
     parseGuid("{D947F29E-0DE4-48E2-997F-1CCB88FB01FE}"), "", " Similar Charts Playlist"},
    {"Similar Shuffle Playlist",
     "Generates a playlist from the Artist's similar artist listing using shuffle",
     parseGuid("{A0D6192D-1C08-4D54-84A6-F775782696B4}"), "", " Similar Shuffle Playlist"},
};

constexpr size_t sort_item = 1;

}  // namespace

bool my_contextmenu::service_query(service_base*& out, const GUID& guid) noexcept {
    return answer_query<contextmenu_item>(this, out, guid);
}

GUID my_contextmenu::itemGuid(size_t index) noexcept {
    return index < item_count ? items[index].guid : null_guid;
}

void my_contextmenu::itemName(size_t index, string_receiver& out) noexcept {
    out.set(index < item_count ? items[index].name : "", none);
}

void my_contextmenu::itemDefaultPath(size_t, string_receiver& out) noexcept {
    out.set("Last.fm", none);
}

bool my_contextmenu::itemDescription(size_t index, string_receiver& out) noexcept {
    out.set(index < item_count ? items[index].description : "", none);
    return true;
}

uint32_t my_contextmenu::enabledState(size_t) noexcept {
    return state_default_on;
}

bool my_contextmenu::displayText(size_t index, const track_list& data, string_receiver& out,
                                 uint32_t& /*displayFlags*/, const GUID& caller) noexcept {
    if (index >= item_count)
        return false;
    if (index == sort_item && caller != caller_playlist)
        return false;
    try {
        std::string artist = dominant_artist(data);
        if (artist.empty()) {
            out.set(items[index].name, none);
            return true;
        }
        // Only a lowercase final s takes the bare apostrophe.
        const char* possessive = artist.back() == 's' ? "'" : "'s";
        std::string text = items[index].prefix + artist + possessive + items[index].suffix;
        out.set(text.c_str(), text.size());
        return true;
    } catch (const std::exception& e) {
        consoleErrorLine(e.what());
        return false;
    }
}

void my_contextmenu::command(size_t index, const track_list& data, const GUID& caller) noexcept {
    // Errors stop at the boundary: the host cannot receive them, the console shows them.
    try {
        switch (index) {
            case 0:
                if (data.count() != 0)
                    startChartsPlaylist(data);
                break;
            case sort_item:
                if (caller == caller_playlist)
                    startChartSort();
                break;
            case 2:
                if (data.count() != 0)
                    startSimilarPlaylist(data, SimilarMode::charts);
                break;
            case 3:
                if (data.count() != 0)
                    startSimilarPlaylist(data, SimilarMode::shuffle);
                break;
            default:
                break;
        }
    } catch (const std::exception& e) {
        consoleErrorLine(e.what());
    } catch (...) {
        consoleErrorLine("unawaited exception");
    }
}

}  // namespace chartloom
