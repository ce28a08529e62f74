// Steering of the POSIX kernel stand-in through its hooks: debug output capture and fault
// injection (bodies in fake_kernel.cpp).
#pragma once

#include "win32.h"

// Lines passed to OutputDebugStringA since the last reset (joined, each as given).
void FakeDebugOutputReset();
const char* FakeDebugOutput();
// The next n calls of CreateEventA / CreateThread / LocalAlloc fail (return NULL).
void FakeFailCreateEvent(int n);
void FakeFailCreateThread(int n);
void FakeFailLocalAlloc(int n);
// Named kernel objects (events, mappings) alive now.
int FakeNamedObjectCount();
// Stack size the last CreateThread asked for.
SIZE_T FakeLastThreadStackSize();

// Sleep and timed waits last (ms * num / den); the tick count is not scaled. Tests speed up the
// status thread's 2000 ms pauses with this.
void FakeSetTimeScale(DWORD num, DWORD den);
// What GetSystemDirectoryA answers; NULL makes it fail (returns 0).
void FakeSetSystemDirectory(const char* directory);
// Threads started by CreateThread that have not returned yet.
int FakeRunningThreads();
