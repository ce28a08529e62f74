// The display program's view of the operating system: the real Win32 headers on Windows, the
// POSIX stand-in of the same names in native builds (unit tests, qvltool, fuzzers).
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "win32_posix.h"
#endif
