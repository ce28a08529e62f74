// A small guarded heap for the strings the monitor keeps (printer name, registry root): each
// block carries its size in a header and 0xDEADBEEF in its last four bytes, checked on free.
#pragma once

#include "win32.h"

enum : DWORD { GUARD_TRAILER = 0xDEADBEEF };

// Debug level: heap messages are written while it is 4 or less. Nothing in the monitor changes it.
extern DWORD DebugLevel;

// Total block size for a request of n bytes: n + 8, raised to a multiple of 4.
DWORD GuardedBlockSize(DWORD n);
void* GuardedAlloc(DWORD n);
BOOL GuardedFree(void* p, DWORD n);
char* DupString(LPCSTR s);
BOOL FreeString(char* s);

// printf-style (wvsprintfA) line to the debugger, ended by a carriage return.
void DebugPrint(LPCSTR format, ...);

// Byte copy without the C runtime (the DLL imports nothing it does not need).
inline void CopyMemoryBytes(void* to, const void* from, DWORD n) {
  BYTE* d = static_cast<BYTE*>(to);
  const BYTE* s = static_cast<const BYTE*>(from);
  while (n--) *d++ = *s++;
}
