// Steering of the kernel stand-in (fake_kernel.h), through its hooks: failure counters, the
// stack size asked for, the time scale, the debug output and the system directory.
#include "fake_kernel.h"

#include <string.h>

#include <atomic>
#include <mutex>
#include <string>

#include "fake_hooks.h"

namespace {

std::atomic<int> failCreateEvent{0}, failCreateThread{0}, failLocalAlloc{0};
std::atomic<SIZE_T> lastStackSize{0};
std::atomic<DWORD> scaleNum{1}, scaleDen{1};

std::mutex debugLock;
std::string debugOutput;

std::mutex sysdirLock;
bool sysdirSet = true;
std::string sysdir = "C:\\windows\\system32";

bool TakeFault(std::atomic<int>& counter) {
  int n = counter.load();
  while (n > 0) {
    if (counter.compare_exchange_weak(n, n - 1)) return true;
  }
  return false;
}

}  // namespace

// ---- steering (fake_kernel.h)

void FakeDebugOutputReset() {
  std::lock_guard<std::mutex> guard(debugLock);
  debugOutput.clear();
}

const char* FakeDebugOutput() {
  // Returned pointer stays valid until the next reset or output; tests read it at once.
  std::lock_guard<std::mutex> guard(debugLock);
  return debugOutput.c_str();
}

void FakeFailCreateEvent(int n) {
  failCreateEvent = n;
}
void FakeFailCreateThread(int n) {
  failCreateThread = n;
}
void FakeFailLocalAlloc(int n) {
  failLocalAlloc = n;
}

int FakeNamedObjectCount() {
  return Win32PosixNamedObjectCount();
}

SIZE_T FakeLastThreadStackSize() {
  return lastStackSize;
}

void FakeSetTimeScale(DWORD num, DWORD den) {
  scaleNum = num;
  scaleDen = den ? den : 1;
}

void FakeSetSystemDirectory(const char* directory) {
  std::lock_guard<std::mutex> guard(sysdirLock);
  sysdirSet = directory != nullptr;
  sysdir = directory ? directory : "";
}

int FakeRunningThreads() {
  return Win32PosixRunningThreads();
}

// ---- hook slots (fake_hooks.h)

BOOL FakeKernelFailCreateEvent(LPCSTR) {
  return TakeFault(failCreateEvent) ? TRUE : FALSE;
}

BOOL FakeKernelFailCreateThread(SIZE_T stackSize) {
  lastStackSize = stackSize;
  return TakeFault(failCreateThread) ? TRUE : FALSE;
}

BOOL FakeKernelFailLocalAlloc(UINT, SIZE_T) {
  return TakeFault(failLocalAlloc) ? TRUE : FALSE;
}

void FakeKernelDebugOutput(LPCSTR text) {
  std::lock_guard<std::mutex> guard(debugLock);
  debugOutput += text;
}

DWORD FakeKernelScaleTime(DWORD ms) {
  return static_cast<DWORD>(static_cast<unsigned long long>(ms) * scaleNum / scaleDen);
}

UINT FakeKernelGetSystemDirectory(LPSTR buffer, UINT size) {
  std::lock_guard<std::mutex> guard(sysdirLock);
  if (!sysdirSet) return 0;
  UINT length = static_cast<UINT>(sysdir.size());
  if (length + 1 > size) return length + 1;  // too small: the size needed, nothing written
  memcpy(buffer, sysdir.c_str(), length + 1);
  return length;
}
