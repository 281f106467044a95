#pragma once
// The Win32 names the serial unit is written against. On Windows this is the
// real API; elsewhere it is our own emulation of the subset the unit uses,
// with the same results and the same last-error numbers.
#if defined(_WIN32)
#include <windows.h>
#else
#include "platform/win32/posix/win32_api.h"
#endif
