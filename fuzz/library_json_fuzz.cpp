// Reads arbitrary bytes as library JSON into a real host, then reads every field of every
// track back and writes the library out again; a StoreError is the only way out allowed.
// The JSON reader must also take and refuse what nlohmann's parser does, with the same events.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "library/json_events.h"
#include "library/library_json.h"
#include "player/host.h"
#include "tests/support/json_event_text.h"
#include "toolbase/store_error.h"

namespace {

using Recorder = chartloom::testing::JsonEventText;

struct NlohmannRecorder : nlohmann::json_sax<nlohmann::json> {
    Recorder r;
    bool null() override { return r.null(), true; }
    bool boolean(bool v) override { return r.boolean(v), true; }
    bool number_integer(number_integer_t v) override { return r.integer(v), true; }
    bool number_unsigned(number_unsigned_t v) override { return r.unsignedInteger(v), true; }
    bool number_float(number_float_t v, const string_t&) override { return r.floating(v), true; }
    bool string(string_t& v) override { return r.string(v), true; }
    bool binary(binary_t&) override { return false; }
    bool key(string_t& v) override { return r.key(v), true; }
    bool start_object(std::size_t) override { return r.startObject(), true; }
    bool end_object() override { return r.endObject(), true; }
    bool start_array(std::size_t) override { return r.startArray(), true; }
    bool end_array() override { return r.endArray(), true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }
};

bool readOurs(std::string_view text, Recorder& ours) {
    try {
        chartloom::library::readJsonEvents(text, ours);
        return true;
    } catch (const chartloom::library::JsonSyntaxError&) {
        return false;
    }
}

void compareWithNlohmann(std::string_view text) {
    NlohmannRecorder theirs;
    bool theirsTook = nlohmann::json::sax_parse(text.begin(), text.end(), &theirs);
    // nlohmann ends the input at a NUL byte outside a text; ours refuses what follows the
    // document, NUL included.
    if (size_t nul = text.find('\0'); theirsTook && nul != text.npos) {
        Recorder whole;
        if (readOurs(text, whole))
            __builtin_trap();
        text = text.substr(0, nul);
    }
    Recorder ours;
    bool oursTook = readOurs(text, ours);
    if (oursTook != theirsTook || (oursTook && ours.out != theirs.r.out))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    compareWithNlohmann(std::string_view(reinterpret_cast<const char*>(data), size));
    player::Host host(player::Host::Options{false, false});
    std::string out;
    chartloom::library::LibraryJsonWriter writer(out);
    try {
        chartloom::library::readLibraryJsonText(
            std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.json",
            [&](const player::TrackRecord& r) {
                host.addTrack(r);
                writer.add(r);
            });
    } catch (const chartloom::StoreError&) {
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
