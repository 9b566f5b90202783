// Input a store cannot use (a library or playlist that cannot be read, or is malformed): the
// message names the file and, where it can, the place in it.
#pragma once

#include <stdexcept>

namespace chartloom {

struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace chartloom
