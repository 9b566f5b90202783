// A library index that cannot be used, and why: a caller may rebuild an index of its own after
// some of these, never after `locked`.
#pragma once

#include "toolbase/sqlite_db.h"

namespace chartloom::library {

using IndexError = SqliteError;

}  // namespace chartloom::library
