// Reads arbitrary bytes as library JSON into a real host, then reads every field of every
// track back and writes the library out again; a StoreError is the only way out allowed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "player/host.h"
#include "stores/library_json.h"
#include "stores/store_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    player::Host host(player::Host::Options{false, false});
    std::string out;
    chartloom::stores::LibraryJsonWriter writer(out);
    try {
        chartloom::stores::readLibraryJsonText(
            std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.json",
            [&](const player::TrackRecord& r) {
                host.addTrack(r);
                writer.add(r);
            });
    } catch (const chartloom::stores::StoreError&) {
    }
    writer.finish();
    size_t sum = out.size();
    for (const player::Track* t : host.libraryTracks()) {
        sum += std::string_view(t->path()).size();
        for (const player::MetaField& m : t->meta()) {
            for (const char* v : m.list())
                sum += std::string_view(v).size() + std::string_view(m.name).size();
        }
        for (const player::InfoField& i : t->info())
            sum += std::string_view(i.value).size();
        // Every path that got in can be found again by it.
        if (host.findTrack(t->pathView()) == nullptr)
            __builtin_trap();
    }
    // Keeps the reads from being optimised away.
    asm volatile("" : : "r"(sum) : "memory");
    return 0;
}
