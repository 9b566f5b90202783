// Lines for the host's diagnostics sink: why a request failed, or what status it got.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/wininet.h"

namespace chartloom::inet {

// "GET URL: <cause>" (with the body bytes received when some were).
void reportFailure(const std::string& url, DWORD error, std::size_t bodyBytes);
// "GET URL: HTTP <status>".
void reportStatus(const std::string& url, uint32_t status);
// A short English name for an error code of these functions.
const char* describeError(DWORD error);

}  // namespace chartloom::inet
