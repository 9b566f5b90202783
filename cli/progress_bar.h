// A text progress bar: "[#########...............] 37%".
#pragma once

#include <cstdint>
#include <string>

namespace chartloom::cli {

inline std::string progressBar(uint64_t done, uint64_t total) {
    constexpr uint64_t width = 24;
    uint64_t filled = total == 0 ? width : done * width / total;
    uint64_t percent = total == 0 ? 100 : done * 100 / total;
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " +
           std::to_string(percent) + "%";
}

}  // namespace chartloom::cli
