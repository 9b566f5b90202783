// "Did you mean ...?" for a mistyped command or menu item.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chartloom::cli {

// The candidate nearest to `word` (edit distance, ASCII case ignored), when it is near enough
// to be a slip of the fingers rather than another word.
// Edits (insert, delete, replace a byte) from `a` to `b`, ASCII case ignored.
size_t editDistance(std::string_view a, std::string_view b);

std::optional<std::string> nearest(const std::string& word,
                                   const std::vector<std::string>& candidates);

}  // namespace chartloom::cli
