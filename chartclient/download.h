// One feed download over HTTP, on a task's worker thread.
#pragma once

#include <string>

#include "host/abort_signal.h"

namespace chartloom {

inline constexpr const char* UserAgent = "foo_chartloom/0.2.3 (https://chartloom.example/)";

// Empties `page` and appends the response body to it. Raises FileNotFound for 404,
// ServiceError for no connection, any other status but 200, a body cut short (connection
// lost, stalled, reset) or a body over 16 MiB; exception_aborted when `abort` (may be null)
// is raised before the first read, after a chunk, or while a wait failed. A chunk's bytes
// from its first NUL on are dropped. Both Internet handles are closed on every path.
void downloadPage(const char* url, std::string& page, const AbortSignal* abort);

}  // namespace chartloom
