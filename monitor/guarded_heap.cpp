// The guarded heap for the monitor's strings, and the debugger output it reports through.
#include "guarded_heap.h"

#include <stdarg.h>
#include <string.h>

DWORD GuardedBlockSize(DWORD n) {
  return (n + 8 + 3) & ~3u;
}

void* GuardedAlloc(DWORD n) {
  DWORD total = GuardedBlockSize(n);
  BYTE* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, total));
  if (!block) {
    DebugPrint("qvllink: Heap Allocation failed for %d bytes\n", total);
    return NULL;
  }
  DWORD trailer = GUARD_TRAILER;
  memcpy(block, &n, 4);
  memcpy(block + total - 4, &trailer, 4);
  return block + 4;
}

BOOL GuardedFree(void* p, DWORD n) {
  BYTE* block = static_cast<BYTE*>(p) - 4;
  DWORD total = GuardedBlockSize(n);
  DWORD header = 0, trailer = 0;
  memcpy(&header, block, 4);
  memcpy(&trailer, block + total - 4, 4);
  if (header != n || trailer != GUARD_TRAILER) {
    DebugPrint("Corrupt Memory in qvllink: %0lx\n",
               static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(block)));
  }
  LocalFree(block);
  return TRUE;
}

char* DupString(LPCSTR s) {
  if (!s) return NULL;
  char* copy = static_cast<char*>(GuardedAlloc(static_cast<DWORD>(lstrlenA(s)) + 1));
  if (copy) lstrcpyA(copy, s);
  return copy;
}

BOOL FreeString(char* s) {
  if (!s) return FALSE;
  GuardedFree(s, static_cast<DWORD>(lstrlenA(s)) + 1);
  return TRUE;
}

void DebugPrint(LPCSTR format, ...) {
  // wvsprintfA writes at most 1024 characters; two are kept for the carriage return and NUL.
  char formatted[1024];
  char line[1024];
  va_list args;
  va_start(args, format);
  wvsprintfA(formatted, format, args);
  va_end(args);
  lstrcpynA(line, formatted, static_cast<int>(sizeof line) - 1);
  lstrcatA(line, "\r");
  OutputDebugStringA(line);
}
