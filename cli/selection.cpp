#include "cli/selection.h"

#include <charconv>

#include "cli/usage_error.h"
#include "host/shared_functions.h"

namespace chartloom::cli {

Selector parseSelector(const std::string& text) {
    if (text == "all")
        return {Selector::Kind::all, "", 0, text};
    auto eq = text.find('=');
    std::string key = text.substr(0, eq),
                value = eq == std::string::npos ? "" : text.substr(eq + 1);
    if (eq != std::string::npos && key == "artist")
        return {Selector::Kind::artist, value, 0, text};
    if (eq != std::string::npos && key == "path")
        return {Selector::Kind::path, value, 0, text};
    if (eq != std::string::npos && key == "pos") {
        size_t n = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (ec != std::errc() || end != value.data() + value.size() || n == 0) {
            throw UsageError("--select " + text + ": pos takes a position from 1 on");
        }
        return {Selector::Kind::position, value, n, text};
    }
    throw UsageError("--select " + text + ": expected all, artist=NAME, path=PATH or pos=N");
}

namespace {

bool hasArtist(const player::Track& track, const std::string& artist) {
    for (const player::MetaField& field : track.meta()) {
        if (std::string_view(field.name) != "artist")
            continue;
        for (const char* v : field.list()) {
            if (stricmp_utf8(v, artist.c_str()) == 0)
                return true;
        }
    }
    return false;
}

}  // namespace

std::vector<size_t> select(const std::vector<player::Track*>& candidates,
                           const std::vector<Selector>& rules) {
    std::vector<size_t> picked;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const player::Track& t = *candidates[i];
        for (const auto& rule : rules) {
            bool yes = false;
            switch (rule.kind) {
                case Selector::Kind::all:
                    yes = true;
                    break;
                case Selector::Kind::artist:
                    yes = !t.unreadable() && hasArtist(t, rule.value);
                    break;
                case Selector::Kind::path:
                    yes = rule.value == t.path();
                    break;
                case Selector::Kind::position:
                    yes = rule.position == i + 1;
                    break;
            }
            if (yes) {
                picked.push_back(i);
                break;
            }
        }
    }
    return picked;
}

}  // namespace chartloom::cli
