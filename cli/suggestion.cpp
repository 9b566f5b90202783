#include "cli/suggestion.h"

#include <algorithm>
#include <cctype>

namespace chartloom::cli {

size_t editDistance(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                               diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

std::optional<std::string> nearest(const std::string& word,
                                   const std::vector<std::string>& candidates) {
    std::optional<std::string> best;
    size_t bestDistance = std::max<size_t>(2, word.size() / 3) + 1;
    for (const auto& candidate : candidates) {
        size_t d = editDistance(word, candidate);
        if (d < bestDistance) {
            best = candidate;
            bestDistance = d;
        }
    }
    return best;
}

}  // namespace chartloom::cli
