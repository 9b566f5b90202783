// A library index that cannot be used, and why: a caller may rebuild an index of its own
// after some of these, never after `locked`.
#pragma once

#include <string>

#include "stores/store_error.h"

namespace chartloom::stores {

struct IndexError : StoreError {
    enum class Kind {
        damaged,       // not a database any more, or rows that do not decode
        foreign,       // some other file, or another program's database
        otherVersion,  // an index of another format version
        locked,        // another program holds it
        failed,        // any other failure (disk full, no permission)
    };
    IndexError(Kind k, const std::string& message) : StoreError(message), kind(k) {}
    Kind kind;
};

}  // namespace chartloom::stores
