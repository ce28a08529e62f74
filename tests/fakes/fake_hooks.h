// The fakes' side of the stand-in's hooks (posix/win32_posix_hooks.h): one function per slot,
// each defined beside the state it uses; fake_hooks.cpp puts them in the table it registers.
// For the fakes' own files; tests use the fake_*.h headers.
#pragma once

#include "posix/win32_posix_hooks.h"

// fake_kernel.cpp: failure counters, stack size, time scale, debug output, system directory.
BOOL FakeKernelFailCreateEvent(LPCSTR name);
BOOL FakeKernelFailCreateThread(SIZE_T stackSize);
BOOL FakeKernelFailLocalAlloc(UINT flags, SIZE_T bytes);
void FakeKernelDebugOutput(LPCSTR text);
DWORD FakeKernelScaleTime(DWORD milliseconds);
UINT FakeKernelGetSystemDirectory(LPSTR buffer, UINT size);

// fake_files.cpp: files kept in memory.
HFILE FakeFileOpen(LPCSTR path, int mode);
UINT FakeFileRead(HFILE file, LPVOID buffer, UINT bytes);
LONG FakeFileSeek(HFILE file, LONG offset, int origin);
HFILE FakeFileClose(HFILE file);
