// The monitor's view of the operating system: the real Win32 headers in the DLL, the POSIX
// stand-in of the same names in native builds (tests, fuzzers, benchmarks).
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <winspool.h>
#include <stdint.h>
#else
#include "win32_posix.h"
#endif
