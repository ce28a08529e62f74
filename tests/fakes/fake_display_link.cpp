// Bodies of the display link functions for native builds, and the test controls of
// fake_display_link.h. Mappings are plain heap blocks of exactly their size, so a write past
// the end shows up under the address sanitizer.
#include "fake_display_link.h"

#include <string.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace {

enum { MAX_FAKE_HANDLES = 1024 };

struct Mapping {
  std::string name;  // "" for an unnamed mapping
  BYTE* block;
  size_t size;
  int handles;
  int views;
};

struct State {
  std::mutex lock;
  std::string className;
  std::string title;
  std::string watched;
  bool windowExists = false;
  bool winExecCreatesWindow = false;
  int findWindowCalls = 0;
  int winExecCalls = 0;
  std::string lastCommand;
  UINT lastShow = 0xFFFFFFFFu;
  std::vector<FakePostedMessage> posts;
  int failCreate = 0;
  int failOpen = 0;
  int failMapView = 0;
  int createCalls = 0;
  std::vector<Mapping*> mappings;
  Mapping* handles[MAX_FAKE_HANDLES] = {};  // handle slot -> mapping (NULL: free or stale)
  bool handleUsed[MAX_FAKE_HANDLES] = {};   // slot handed out since the last reset
};

std::atomic<int> mappingCallDelay{0};

void MappingCallDelay() {
  const int delay = mappingCallDelay.load();
  if (delay > 0) usleep(delay);
}

State& Fake() {
  static State state;
  return state;
}

// Handles are addresses inside this array: distinct from anything the kernel stand-in hands out.
char HandleSpace[MAX_FAKE_HANDLES];
char WindowObject;

HANDLE SlotHandle(int slot) {
  return &HandleSpace[slot];
}

int HandleSlot(HANDLE handle) {
  const char* p = static_cast<const char*>(handle);
  if (p < HandleSpace || p >= HandleSpace + MAX_FAKE_HANDLES) return -1;
  return static_cast<int>(p - HandleSpace);
}

Mapping* FindByName(State& s, const char* name) {
  if (name == NULL || *name == 0) return NULL;
  for (Mapping* m : s.mappings) {
    if (m->name == name) return m;
  }
  return NULL;
}

// Named objects die with their last handle and view.
void DropIfUnused(State& s, Mapping* m) {
  if (m->handles > 0 || m->views > 0) return;
  for (size_t i = 0; i < s.mappings.size(); ++i) {
    if (s.mappings[i] == m) {
      s.mappings.erase(s.mappings.begin() + i);
      break;
    }
  }
  delete[] m->block;
  delete m;
}

HANDLE NewHandle(State& s, Mapping* m) {
  for (int slot = 0; slot < MAX_FAKE_HANDLES; ++slot) {
    if (!s.handleUsed[slot]) {
      s.handleUsed[slot] = true;
      s.handles[slot] = m;
      ++m->handles;
      return SlotHandle(slot);
    }
  }
  return NULL;
}

Mapping* NewMapping(State& s, const char* name, size_t size) {
  Mapping* m = new Mapping{name ? name : "", new BYTE[size](), size, 0, 0};
  s.mappings.push_back(m);
  return m;
}

bool Matches(const char* wanted, const std::string& actual) {
  return wanted == NULL || actual == wanted;
}

}  // namespace

void FakeDisplayLinkReset(const char* className, const char* title, const char* watchedMapping) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  s.className = className ? className : "";
  s.title = title ? title : "";
  s.watched = watchedMapping ? watchedMapping : "";
  s.windowExists = false;
  s.winExecCreatesWindow = false;
  s.findWindowCalls = 0;
  s.winExecCalls = 0;
  s.lastCommand.clear();
  s.lastShow = 0xFFFFFFFFu;
  s.posts.clear();
  s.failCreate = s.failOpen = s.failMapView = 0;
  s.createCalls = 0;
  mappingCallDelay = 0;
  for (Mapping* m : s.mappings) {
    delete[] m->block;
    delete m;
  }
  s.mappings.clear();
  // Slots stay marked used until closed, so a handle from before the reset is never handed
  // out twice.
  for (Mapping*& m : s.handles) m = NULL;
}

void FakeDisplaySetWindow(bool exists) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  s.windowExists = exists;
}

bool FakeDisplayWindowExists() {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.windowExists;
}

HWND FakeDisplayWindowHandle() {
  return reinterpret_cast<HWND>(&WindowObject);
}

void FakeDisplayWinExecCreatesWindow(bool creates) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  s.winExecCreatesWindow = creates;
}

int FakeDisplayFindWindowCount() {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.findWindowCalls;
}

int FakeDisplayWinExecCount() {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.winExecCalls;
}

const char* FakeDisplayLastWinExecCommand() {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.lastCommand.c_str();
}

UINT FakeDisplayLastWinExecShow() {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.lastShow;
}

int FakeDisplayPostCount() {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  return static_cast<int>(s.posts.size());
}

FakePostedMessage FakeDisplayPostAt(int index) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  if (index < 0 || index >= static_cast<int>(s.posts.size())) return FakePostedMessage{};
  return s.posts[index];
}

void FakeDisplayFailCreateMapping(int n) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  s.failCreate = n;
}

void FakeDisplayFailOpenMapping(int n) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  s.failOpen = n;
}

void FakeDisplayFailMapView(int n) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  s.failMapView = n;
}

void FakeDisplayMappingCallDelay(int microseconds) {
  mappingCallDelay = microseconds;
}

int FakeDisplayCreateMappingCalls() {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.createCalls;
}

bool FakeDisplayMappingExists(const char* name) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  return FindByName(s, name) != NULL;
}

int FakeDisplayMappingHandles(const char* name) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  Mapping* m = FindByName(s, name);
  return m ? m->handles : 0;
}

int FakeDisplayMappingSize(const char* name) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  Mapping* m = FindByName(s, name);
  return m ? static_cast<int>(m->size) : 0;
}

int FakeDisplayOpenViews() {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  int views = 0;
  for (Mapping* m : s.mappings) views += m->views;
  return views;
}

bool FakeDisplayReadMapping(const char* name, void* out, int n) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  Mapping* m = FindByName(s, name);
  if (m == NULL || n < 0 || static_cast<size_t>(n) > m->size) return false;
  memcpy(out, m->block, n);
  return true;
}

void FakeDisplayWriteMapping(const char* name, int size, const void* data, int n) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  Mapping* m = FindByName(s, name);
  if (m == NULL) {
    m = NewMapping(s, name, size);
    NewHandle(s, m);
  }
  if (n > static_cast<int>(m->size)) n = static_cast<int>(m->size);
  if (n > 0) memcpy(m->block, data, n);
}

bool FakeDisplayLinkCloseHandle(HANDLE handle) {
  const int slot = HandleSlot(handle);
  if (slot < 0) return false;
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  Mapping* m = s.handles[slot];
  s.handles[slot] = NULL;
  s.handleUsed[slot] = false;
  if (m) {
    --m->handles;
    DropIfUnused(s, m);
  }
  return true;
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  ++s.findWindowCalls;
  if (!s.windowExists || !Matches(className, s.className) || !Matches(windowName, s.title)) {
    return NULL;
  }
  return reinterpret_cast<HWND>(&WindowObject);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  FakePostedMessage post = {};
  post.window = window;
  post.message = message;
  post.wParam = wParam;
  post.lParam = lParam;
  if (Mapping* m = FindByName(s, s.watched.c_str())) {
    post.mappingExisted = true;
    const size_t peek = FAKE_MAPPING_PEEK;
    const size_t n = m->size < peek ? m->size : peek;
    memcpy(post.mappingBytes, m->block, n);
    for (size_t i = 0; i < n && post.mappingBytes[i] != 0; ++i) {
      post.printerName[i] = static_cast<char>(post.mappingBytes[i]);
    }
  }
  s.posts.push_back(post);
  return window == reinterpret_cast<HWND>(&WindowObject) && s.windowExists;
}

UINT WinExec(LPCSTR commandLine, UINT show) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  ++s.winExecCalls;
  s.lastCommand = commandLine ? commandLine : "";
  s.lastShow = show;
  if (s.winExecCreatesWindow) s.windowExists = true;
  return 33;  // above 31: started
}

HANDLE OpenFileMappingA(DWORD access, BOOL inherit, LPCSTR name) {
  (void)access;
  (void)inherit;
  MappingCallDelay();
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.failOpen > 0) {
    --s.failOpen;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
  }
  Mapping* m = FindByName(s, name);
  if (m == NULL) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return NULL;
  }
  return NewHandle(s, m);
}

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES sa, DWORD protect, DWORD sizeHigh,
                          DWORD sizeLow, LPCSTR name) {
  (void)sa;
  (void)protect;
  MappingCallDelay();
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  ++s.createCalls;
  if (s.failCreate > 0) {
    --s.failCreate;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
  }
  // Only mappings backed by the paging file, of a stated size, as the monitor creates them.
  if (file != INVALID_HANDLE_VALUE || sizeHigh != 0 || sizeLow == 0) {
    SetLastError(87);  // ERROR_INVALID_PARAMETER
    return NULL;
  }
  Mapping* m = FindByName(s, name);
  if (m) {
    SetLastError(ERROR_ALREADY_EXISTS);
  } else {
    m = NewMapping(s, name, sizeLow);
    SetLastError(ERROR_SUCCESS);
  }
  HANDLE handle = NewHandle(s, m);
  if (handle == NULL) DropIfUnused(s, m);
  return handle;
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes) {
  (void)access;
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  const int slot = HandleSlot(mapping);
  Mapping* m = slot < 0 ? NULL : s.handles[slot];
  if (m == NULL || offsetHigh != 0 || offsetLow != 0 || bytes > m->size) {
    SetLastError(6);  // ERROR_INVALID_HANDLE (or an unsupported range)
    return NULL;
  }
  if (s.failMapView > 0) {
    --s.failMapView;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
  }
  ++m->views;
  return m->block;
}

BOOL UnmapViewOfFile(LPCVOID view) {
  State& s = Fake();
  std::lock_guard<std::mutex> guard(s.lock);
  for (Mapping* m : s.mappings) {
    if (m->block == view && m->views > 0) {
      --m->views;
      DropIfUnused(s, m);
      return TRUE;
    }
  }
  return FALSE;
}
