// Last-error bookkeeping and the translation of libcurl results into Windows error codes.
#pragma once

#include <curl/curl.h>

#include "platform/wininet.h"

namespace chartloom::inet {

// Sets the calling thread's last error (read back by GetLastError).
void setLastError(DWORD code);
DWORD lastError();

// The Windows code closest to a failed transfer's libcurl result. `osErrno` is the socket
// error libcurl saw last (0 if none); it tells a reset connection from other losses.
DWORD errorFromCurl(CURLcode result, long osErrno);

}  // namespace chartloom::inet
