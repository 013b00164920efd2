// The remote size probe.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

// The Content-Length of the response to a GET of url, read only as far as the headers; 0 for
// every failure and for a response without one. One try, no retry.
uint64_t GetRemoteFileSize(CString url);
