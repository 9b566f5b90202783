// Reads arbitrary bytes as a playlist file; whatever it reads, writing it back and reading that
// again gives the same playlist.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "playlists/m3u8.h"
#include "toolbase/store_error.h"

using namespace chartloom::playlists;
using chartloom::StoreError;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PlaylistFile read;
    try {
        read = parseM3u8(std::string_view(reinterpret_cast<const char*>(data), size), "Mix");
    } catch (const StoreError&) {
        return 0;  // a line too long to be an entry
    }
    try {
        PlaylistFile again = parseM3u8(formatM3u8(read), "Mix");
        if (again.paths != read.paths || again.notes != read.notes ||
            again.trailer != read.trailer) {
            std::abort();
        }
    } catch (const StoreError&) {
        // An entry with a NUL cannot be written; the reader keeps it as it was.
    }
    return 0;
}
