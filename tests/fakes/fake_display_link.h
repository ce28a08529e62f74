// Recording fake of the display link for native tests: the display program's window
// (FindWindowA), the messages posted to it (PostMessageA), the program's start (WinExec) and
// named file mappings (OpenFileMappingA, CreateFileMappingA, MapViewOfFile, UnmapViewOfFile,
// and CloseHandle through the stand-in's closeHandle hook). All functions are thread-safe.
#pragma once

#include "win32.h"

enum { FAKE_MAPPING_PEEK = 48 };

struct FakePostedMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool mappingExisted;                      // the watched mapping existed at the post
  BYTE mappingBytes[FAKE_MAPPING_PEEK];     // its first bytes at the post (zero when missing)
  char printerName[FAKE_MAPPING_PEEK + 1];  // the same bytes up to the first NUL, terminated
};

// Forgets windows, messages, starts and every mapping (handles still held elsewhere become
// stale: using them fails, closing them is accepted). The window, when it exists, has this
// class name and title; FindWindowA matches both (a NULL argument matches anything). Messages
// record the first bytes of the mapping named watchedMapping (may be NULL).
void FakeDisplayLinkReset(const char* className, const char* title, const char* watchedMapping);

// The program's window exists / does not exist now.
void FakeDisplaySetWindow(bool exists);
bool FakeDisplayWindowExists();
HWND FakeDisplayWindowHandle();
// WinExec makes the window exist, as the real program does by the time WinExec returns.
void FakeDisplayWinExecCreatesWindow(bool creates);

int FakeDisplayFindWindowCount();
int FakeDisplayWinExecCount();
// Command line and show mode of the last WinExec ("" and 0xFFFFFFFF when none).
const char* FakeDisplayLastWinExecCommand();
UINT FakeDisplayLastWinExecShow();

int FakeDisplayPostCount();
FakePostedMessage FakeDisplayPostAt(int index);

// The next n calls of CreateFileMappingA / OpenFileMappingA / MapViewOfFile fail.
void FakeDisplayFailCreateMapping(int n);
void FakeDisplayFailOpenMapping(int n);
void FakeDisplayFailMapView(int n);
int FakeDisplayCreateMappingCalls();
// OpenFileMappingA and CreateFileMappingA take this long to return (widens race windows).
void FakeDisplayMappingCallDelay(int microseconds);

// A named mapping exists while a handle or a view of it is open.
bool FakeDisplayMappingExists(const char* name);
int FakeDisplayMappingHandles(const char* name);  // open handles to it (0 when missing)
int FakeDisplayMappingSize(const char* name);     // bytes (0 when missing)
int FakeDisplayOpenViews();                       // views mapped and not yet unmapped
// Copies the first n bytes of a named mapping; false when it does not exist.
bool FakeDisplayReadMapping(const char* name, void* out, int n);
// Overwrites the start of a named mapping (creating it with size bytes when missing and
// holding one handle for it, as another process would).
void FakeDisplayWriteMapping(const char* name, int size, const void* data, int n);

// The kernel stand-in's closeHandle hook (fake_hooks.cpp): true when the handle was one of this
// fake's.
bool FakeDisplayLinkCloseHandle(HANDLE handle);
