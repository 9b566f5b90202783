// What the command-line tests feed to chartloom and read back from it: the two feeds, and the
// paths of a playlist in the --json report.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace chartloom::testing {

// A chart of these titles, best first, with falling reach.
inline std::string topTracks(const std::vector<std::string>& titles) {
    std::string xml = "<mostknowntracks artist=\"x\">";
    int reach = 1000;
    for (const auto& t : titles) {
        xml += "<track><name>" + t + "</name><reach>" + std::to_string(reach) + "</reach></track>";
        reach -= 100;
    }
    return xml + "</mostknowntracks>";
}

// A similar-artists list of these (name, match) pairs.
inline std::string similarArtists(const std::vector<std::pair<std::string, int>>& artists) {
    std::string xml = "<similarartists artist=\"x\">";
    for (const auto& [name, match] : artists)
        xml += "<artist><name>" + name + "</name><match>" + std::to_string(match) +
               "</match></artist>";
    return xml + "</similarartists>";
}

// The item paths of the report's playlist `name`; none when there is no such playlist.
inline std::vector<std::string> playlistPaths(const nlohmann::json& doc, const std::string& name) {
    std::vector<std::string> out;
    for (const auto& p : doc["playlists"]) {
        if (p["name"] == name) {
            for (const auto& item : p["items"])
                out.push_back(item["path"]);
        }
    }
    return out;
}

}  // namespace chartloom::testing
