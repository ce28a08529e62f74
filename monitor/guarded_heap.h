// A small guarded heap for the strings the monitor keeps (printer name, registry root): each
// block carries its size in a header and 0xDEADBEEF in its last four bytes, checked on free.
#pragma once

#include "win32.h"

enum : DWORD { GUARD_TRAILER = 0xDEADBEEF };

// Total block size for a request of n bytes: n + 8, raised to a multiple of 4.
DWORD GuardedBlockSize(DWORD n);
void* GuardedAlloc(DWORD n);
BOOL GuardedFree(void* p, DWORD n);
char* DupString(LPCSTR s);
BOOL FreeString(char* s);

// printf-style (wvsprintfA) line to the debugger, ended by a carriage return.
void DebugPrint(LPCSTR format, ...);
