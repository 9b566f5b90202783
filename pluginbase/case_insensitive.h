// Ordering of UTF-8 texts that ignores letter case, with the player's shared compare.
#pragma once

#include <string>

#include "host/shared_functions.h"

namespace chartloom {

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return stricmp_utf8(a.c_str(), b.c_str()) < 0;
    }
};

}  // namespace chartloom
