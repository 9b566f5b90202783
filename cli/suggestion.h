// "Did you mean ...?" for a mistyped command or menu item.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace chartloom::cli {

// The candidate nearest to `word` (edit distance, ASCII case ignored), when it is near enough
// to be a slip of the fingers rather than another word.
std::optional<std::string> nearest(const std::string& word,
                                   const std::vector<std::string>& candidates);

}  // namespace chartloom::cli
