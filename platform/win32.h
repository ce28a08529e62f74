// The operating system as the monitor and the display program see it: the real Win32 headers
// in the Windows builds, the POSIX stand-in of the same names in native builds (unit tests,
// qvltool, fuzzers, benchmarks). The product's portable code includes this and nothing else
// for the platform.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <winspool.h>
#include <stdint.h>
#else
#include "posix/win32_posix.h"
#endif
