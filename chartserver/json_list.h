// Reads the entries of one list out of a JSON answer, keeping only chosen scalar members of
// each: what the ListenBrainz and MusicBrainz answers are judged on. Memory stays bounded by
// what is kept, not by the body; nesting is bounded.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace chartloom::chartserver {

struct JsonList {
    // One per entry (an object of the list), in order: the wanted members, null where absent
    // or not a string or number.
    std::vector<std::vector<nlohmann::json>> entries;
    bool isList = false;  // the list was there
    std::string error;    // why reading stopped early ("not JSON (...)"); entries read are kept
};

// The list is the document itself when `member` is empty, else the array under the top-level
// object's `member`. Entries past `maxEntries` are passed over.
// "not JSON (why)" for a parse error of nlohmann::json, its "[json.exception...] " tag left out.
std::string notJson(const nlohmann::detail::exception& e);

JsonList readJsonList(std::string_view body, std::string_view member,
                      const std::vector<std::string>& fields, std::size_t maxEntries);

}  // namespace chartloom::chartserver
