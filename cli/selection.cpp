#include "cli/selection.h"

#include <algorithm>
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

// Whether the library path `path` is `wanted` or lies under it (a folder).
bool pathMatches(std::string_view path, const std::filesystem::path& root, std::string wanted) {
    while (wanted.size() > 1 && wanted.back() == '/')
        wanted.pop_back();
    std::string location(path);
    if (std::filesystem::path(wanted).is_absolute() && !std::filesystem::path(path).is_absolute()) {
        if (root.empty())
            return false;
        location = (root / path).lexically_normal().string();
        wanted = std::filesystem::path(wanted).lexically_normal().string();
    }
    return location == wanted || (location.size() > wanted.size() && location.starts_with(wanted) &&
                                  location[wanted.size()] == '/');
}

std::string firstArtist(const player::Track& track) {
    for (const player::MetaField& field : track.meta()) {
        if (std::string_view(field.name) == "artist" && field.count > 0)
            return field.values[0];
    }
    return "";
}

}  // namespace

std::string selectionSummary(const std::vector<player::Track*>& selection) {
    std::vector<std::pair<std::string, size_t>> counts;
    for (const player::Track* t : selection) {
        std::string artist = t->unreadable() ? "" : firstArtist(*t);
        auto at = std::find_if(counts.begin(), counts.end(), [&](const auto& c) {
            return stricmp_utf8(c.first.c_str(), artist.c_str()) == 0;
        });
        if (at == counts.end())
            counts.emplace_back(artist, 1);
        else
            ++at->second;
    }
    std::stable_sort(counts.begin(), counts.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string text = std::to_string(selection.size()) +
                       (selection.size() == 1 ? " track selected" : " tracks selected");
    for (size_t i = 0; i < counts.size() && i < 3; ++i) {
        text += (i ? ", " : ": ") + (counts[i].first.empty() ? "no artist" : counts[i].first) +
                " " + std::to_string(counts[i].second);
    }
    if (counts.size() > 3)
        text += ", ...";
    return text;
}

std::vector<size_t> select(const std::vector<player::Track*>& candidates,
                           const std::vector<Selector>& rules, const std::filesystem::path& root) {
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
                    yes = pathMatches(t.pathView(), root, rule.value);
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

}  // namespace chartloom::cli
