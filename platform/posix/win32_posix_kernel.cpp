// The kernel part of the Win32 stand-in: critical sections, events (named and unnamed),
// threads, time, local memory, strings and debug output, over POSIX threads. A program steers
// it through the hooks of win32_posix_hooks.h.
#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "win32_posix.h"
#include "win32_posix_hooks.h"

namespace {

enum ObjectKind { KIND_EVENT = 1, KIND_THREAD = 2 };

struct KernelObject {
  int kind;
  int references;  // open handles (named events may have several)
  std::string name;
  pthread_mutex_t lock;
  pthread_cond_t changed;
  bool manualReset;
  bool signalled;
};

std::mutex objectsLock;
std::set<KernelObject*> liveObjects;                // every open kernel object
std::map<std::string, KernelObject*> namedObjects;  // by name, case-sensitive as on Windows

thread_local DWORD lastError = 0;
std::atomic<int> runningThreads{0};

// The registered hooks (win32_posix_hooks.h), or NULL.
std::atomic<const Win32PosixHooks*> registeredHooks{nullptr};

const char kSystemDirectory[] = "C:\\windows\\system32";

DWORD Scaled(DWORD ms) {
  if (ms == INFINITE) return ms;
  const Win32PosixHooks* hooks = Win32PosixGetHooks();
  return hooks && hooks->scaleTime ? hooks->scaleTime(ms) : ms;
}

KernelObject* NewObject(int kind) {
  KernelObject* o = new KernelObject();
  o->kind = kind;
  o->references = 1;
  pthread_mutex_init(&o->lock, nullptr);
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  pthread_cond_init(&o->changed, &attr);
  pthread_condattr_destroy(&attr);
  return o;
}

// Looks a handle up among the live objects; the caller holds objectsLock.
KernelObject* Lookup(HANDLE handle) {
  KernelObject* o = static_cast<KernelObject*>(handle);
  return liveObjects.count(o) ? o : nullptr;
}

KernelObject* LookupEvent(HANDLE handle) {
  std::lock_guard<std::mutex> guard(objectsLock);
  KernelObject* o = Lookup(handle);
  return (o && o->kind == KIND_EVENT) ? o : nullptr;
}

struct ThreadStart {
  LPTHREAD_START_ROUTINE start;
  LPVOID parameter;
};

void* ThreadMain(void* arg) {
  ThreadStart s = *static_cast<ThreadStart*>(arg);
  delete static_cast<ThreadStart*>(arg);
  s.start(s.parameter);
  runningThreads.fetch_sub(1);
  return nullptr;
}

}  // namespace

// ---- hooks (win32_posix_hooks.h)

void Win32PosixSetHooks(const Win32PosixHooks* hooks) {
  registeredHooks.store(hooks, std::memory_order_release);
}

const Win32PosixHooks* Win32PosixGetHooks(void) {
  return registeredHooks.load(std::memory_order_acquire);
}

int Win32PosixNamedObjectCount(void) {
  std::lock_guard<std::mutex> guard(objectsLock);
  return static_cast<int>(namedObjects.size());
}

int Win32PosixRunningThreads(void) {
  return runningThreads;
}

// ---- critical sections

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutex_t* m = new pthread_mutex_t;
  pthread_mutex_init(m, nullptr);
  cs->impl = m;
}

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutex_t* m = static_cast<pthread_mutex_t*>(cs->impl);
  if (!m) return;
  pthread_mutex_destroy(m);
  delete m;
  cs->impl = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutex_lock(static_cast<pthread_mutex_t*>(cs->impl));
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutex_unlock(static_cast<pthread_mutex_t*>(cs->impl));
}

// ---- events

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name) {
  const Win32PosixHooks* hooks = Win32PosixGetHooks();
  if (hooks && hooks->failCreateEvent && hooks->failCreateEvent(name)) {
    lastError = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(objectsLock);
  if (name) {
    auto it = namedObjects.find(name);
    if (it != namedObjects.end()) {
      it->second->references++;
      lastError = ERROR_ALREADY_EXISTS;
      return it->second;
    }
  }
  KernelObject* o = NewObject(KIND_EVENT);
  o->manualReset = manualReset != FALSE;
  o->signalled = initialState != FALSE;
  if (name) {
    o->name = name;
    namedObjects[o->name] = o;
  }
  liveObjects.insert(o);
  lastError = 0;
  return o;
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR name) {
  std::lock_guard<std::mutex> guard(objectsLock);
  auto it = name ? namedObjects.find(name) : namedObjects.end();
  if (it == namedObjects.end() || it->second->kind != KIND_EVENT) {
    lastError = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  it->second->references++;
  return it->second;
}

BOOL SetEvent(HANDLE event) {
  KernelObject* o = LookupEvent(event);
  if (!o) return FALSE;
  pthread_mutex_lock(&o->lock);
  o->signalled = true;
  pthread_cond_broadcast(&o->changed);
  pthread_mutex_unlock(&o->lock);
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  KernelObject* o = LookupEvent(event);
  if (!o) return FALSE;
  pthread_mutex_lock(&o->lock);
  o->signalled = false;
  pthread_mutex_unlock(&o->lock);
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  KernelObject* o = LookupEvent(handle);
  if (!o) {
    lastError = 6;  // ERROR_INVALID_HANDLE
    return WAIT_FAILED;
  }
  DWORD ms = Scaled(milliseconds);
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += ms / 1000;
  deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec++;
    deadline.tv_nsec -= 1000000000L;
  }
  pthread_mutex_lock(&o->lock);
  DWORD result = WAIT_OBJECT_0;
  while (!o->signalled) {
    if (ms == INFINITE) {
      pthread_cond_wait(&o->changed, &o->lock);
    } else if (ms == 0 || pthread_cond_timedwait(&o->changed, &o->lock, &deadline) == ETIMEDOUT) {
      if (!o->signalled) result = WAIT_TIMEOUT;
      break;
    }
  }
  if (result == WAIT_OBJECT_0 && !o->manualReset) o->signalled = false;
  pthread_mutex_unlock(&o->lock);
  return result;
}

BOOL CloseHandle(HANDLE handle) {
  const Win32PosixHooks* hooks = Win32PosixGetHooks();
  if (hooks && hooks->closeHandle && hooks->closeHandle(handle)) return TRUE;
  KernelObject* dead = nullptr;
  {
    std::lock_guard<std::mutex> guard(objectsLock);
    KernelObject* o = Lookup(handle);
    if (!o) {
      lastError = 6;  // ERROR_INVALID_HANDLE
      return FALSE;
    }
    if (--o->references == 0) {
      liveObjects.erase(o);
      if (!o->name.empty()) namedObjects.erase(o->name);
      dead = o;
    }
  }
  if (dead) {
    pthread_cond_destroy(&dead->changed);
    pthread_mutex_destroy(&dead->lock);
    delete dead;
  }
  return TRUE;
}

HANDLE GetCurrentProcess(void) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

// A duplicate is one more reference to the same object (Windows gives a new number; nothing
// here depends on the number).
BOOL DuplicateHandle(HANDLE, HANDLE source, HANDLE, LPHANDLE target, DWORD, BOOL, DWORD) {
  std::lock_guard<std::mutex> guard(objectsLock);
  KernelObject* o = Lookup(source);
  if (!o || !target) {
    lastError = 6;  // ERROR_INVALID_HANDLE
    return FALSE;
  }
  o->references++;
  *target = o;
  return TRUE;
}

// ---- threads and time

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD, LPDWORD threadId) {
  const Win32PosixHooks* hooks = Win32PosixGetHooks();
  if (hooks && hooks->failCreateThread && hooks->failCreateThread(stackSize)) {
    lastError = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  // The sanitizers need far more stack than the 16 KiB the product asks for on Windows.
  SIZE_T size = stackSize < 1024 * 1024 ? 1024 * 1024 : stackSize;
  pthread_attr_setstacksize(&attr, size);
  ThreadStart* s = new ThreadStart{start, parameter};
  runningThreads.fetch_add(1);
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, ThreadMain, s);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    runningThreads.fetch_sub(1);
    delete s;
    lastError = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  if (threadId) *threadId = static_cast<DWORD>(reinterpret_cast<uintptr_t>(s));
  std::lock_guard<std::mutex> guard(objectsLock);
  KernelObject* o = NewObject(KIND_THREAD);
  liveObjects.insert(o);
  return o;
}

BOOL SetThreadPriority(HANDLE thread, int) {
  std::lock_guard<std::mutex> guard(objectsLock);
  return Lookup(thread) ? TRUE : FALSE;
}

void Sleep(DWORD milliseconds) {
  DWORD ms = Scaled(milliseconds);
  timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

DWORD GetTickCount(void) {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<DWORD>(t.tv_sec * 1000ull + t.tv_nsec / 1000000);
}

DWORD GetLastError(void) {
  return lastError;
}
void SetLastError(DWORD error) {
  lastError = error;
}

// ---- memory

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  const Win32PosixHooks* hooks = Win32PosixGetHooks();
  if (hooks && hooks->failLocalAlloc && hooks->failLocalAlloc(flags, bytes)) return nullptr;
  void* p = (flags & LMEM_ZEROINIT) ? calloc(1, bytes ? bytes : 1) : malloc(bytes ? bytes : 1);
  return p;
}

HLOCAL LocalFree(HLOCAL mem) {
  free(mem);
  return nullptr;
}

// ---- strings and debug output

// The text goes to the hook, and to standard error when QVL_DEBUG_OUTPUT is set.
void OutputDebugStringA(LPCSTR text) {
  const Win32PosixHooks* hooks = Win32PosixGetHooks();
  if (hooks && hooks->debugOutput) hooks->debugOutput(text);
  if (getenv("QVL_DEBUG_OUTPUT")) fputs(text, stderr);
}

int wvsprintfA(LPSTR buffer, LPCSTR format, va_list args) {
  // wvsprintfA writes at most 1024 characters including the NUL.
  int n = vsnprintf(buffer, 1024, format, args);
  return n < 0 ? 0 : (n > 1023 ? 1023 : n);
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfA(buffer, format, args);
  va_end(args);
  return n;
}

int lstrlenA(LPCSTR s) {
  return s ? static_cast<int>(strlen(s)) : 0;
}
int lstrcmpA(LPCSTR a, LPCSTR b) {
  return strcmp(a ? a : "", b ? b : "");
}
int lstrcmpiA(LPCSTR a, LPCSTR b) {
  return strcasecmp(a ? a : "", b ? b : "");
}
LPSTR lstrcpyA(LPSTR dst, LPCSTR src) {
  return strcpy(dst, src);
}
LPSTR lstrcatA(LPSTR dst, LPCSTR src) {
  return strcat(dst, src);
}

LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int max) {
  if (max <= 0) return dst;
  int i = 0;
  for (; i < max - 1 && src[i]; ++i) dst[i] = src[i];
  dst[i] = '\0';
  return dst;
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  const Win32PosixHooks* hooks = Win32PosixGetHooks();
  if (hooks && hooks->getSystemDirectory) return hooks->getSystemDirectory(buffer, size);
  UINT length = static_cast<UINT>(sizeof kSystemDirectory - 1);
  if (length + 1 > size) return length + 1;  // too small: the size needed, nothing written
  memcpy(buffer, kSystemDirectory, length + 1);
  return length;
}

// Code page conversions: windows-1252 (the system's code page here) and UTF-8.
namespace {

std::atomic<int> defaultCharConversions{0};

// windows-1252 bytes 0x80 to 0x9F; the five it leaves undefined map to the C1 controls.
const WCHAR kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                               0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// One code point from UTF-8 at bytes[*i]; -1 for an ill-formed sequence.
long DecodeUtf8(const unsigned char* bytes, int count, int* i) {
  const unsigned char lead = bytes[(*i)++];
  if (lead < 0x80) return lead;
  int more = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (more < 0 || lead > 0xF4) return -1;
  long cp = lead & (0x3F >> more);
  for (int k = 0; k < more; ++k) {
    if (*i >= count || (bytes[*i] & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (bytes[(*i)++] & 0x3F);
  }
  const long least[] = {0, 0x80, 0x800, 0x10000};
  if (cp < least[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  return cp;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int byteCount, LPWSTR wide,
                        int wideCount) {
  if (codePage == CP_ACP) codePage = 1252;
  if ((codePage != 1252 && codePage != CP_UTF8) || bytes == NULL || wideCount < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int count = byteCount < 0 ? static_cast<int>(strlen(bytes)) + 1 : byteCount;
  const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes);
  int written = 0;
  for (int i = 0; i < count;) {
    long cp;
    if (codePage == 1252) {
      const unsigned char b = in[i++];
      cp = b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b;
    } else {
      cp = DecodeUtf8(in, count, &i);
      if (cp < 0) {
        if (flags & MB_ERR_INVALID_CHARS) {
          SetLastError(ERROR_NO_UNICODE_TRANSLATION);
          return 0;
        }
        cp = 0xFFFD;
      }
    }
    const int units = cp >= 0x10000 ? 2 : 1;
    if (wideCount != 0) {
      if (written + units > wideCount) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      if (units == 2) {
        wide[written] = static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10));
        wide[written + 1] = static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        wide[written] = static_cast<WCHAR>(cp);
      }
    }
    written += units;
  }
  return written;
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideCount, LPSTR bytes,
                        int byteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  if (defaultChar != NULL || usedDefaultChar != NULL) ++defaultCharConversions;
  if (usedDefaultChar != NULL) *usedDefaultChar = FALSE;
  if (codePage == CP_ACP) codePage = 1252;
  if ((codePage != 1252 && codePage != CP_UTF8) || wide == NULL || byteCount < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int count = wideCount;
  if (count < 0) {
    count = 0;
    while (wide[count] != 0) ++count;
    ++count;
  }
  int written = 0;
  for (int i = 0; i < count; ++i) {
    unsigned long cp = wide[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < count && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[++i] - 0xDC00);
    }
    unsigned char out[4];
    int n = 0;
    if (codePage == 1252) {
      int b = cp < 0x80 || (cp >= 0xA0 && cp < 0x100) ? static_cast<int>(cp) : -1;
      for (int k = 0; k < 32 && b < 0; ++k) {
        if (kCp1252High[k] == cp) b = 0x80 + k;
      }
      if (b < 0) {
        b = defaultChar != NULL ? static_cast<unsigned char>(defaultChar[0]) : '?';
        if (usedDefaultChar != NULL) *usedDefaultChar = TRUE;
      }
      out[n++] = static_cast<unsigned char>(b);
    } else if (cp < 0x80) {
      out[n++] = static_cast<unsigned char>(cp);
    } else if (cp < 0x800) {
      out[n++] = static_cast<unsigned char>(0xC0 | (cp >> 6));
      out[n++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out[n++] = static_cast<unsigned char>(0xE0 | (cp >> 12));
      out[n++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      out[n++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else {
      out[n++] = static_cast<unsigned char>(0xF0 | (cp >> 18));
      out[n++] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
      out[n++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      out[n++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    }
    if (byteCount != 0) {
      if (written + n > byteCount) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      memcpy(bytes + written, out, static_cast<size_t>(n));
    }
    written += n;
  }
  return written;
}

int Win32PosixDefaultCharConversions(void) {
  return defaultCharConversions.load();
}
