#include "wait_watch.h"

#include <stdio.h>

#include "display_link.h"
#include "display_watch.h"
#include "resource_ids.h"
#include "wait_port.h"

namespace {

// Codes noted with their times, oldest first.
struct Notes {
  enum { ROOM = 4096 };
  CRITICAL_SECTION lock;
  uint32_t count;
  uint32_t code[ROOM];
  double at[ROOM];
};

Notes PublishedNotes;
Notes WatchNotes;

struct ModuleInit {
  ModuleInit() {
    InitializeCriticalSection(&PublishedNotes.lock);
    InitializeCriticalSection(&WatchNotes.lock);
  }
} Init;

void Note(Notes* notes, uint32_t code, double at) {
  EnterCriticalSection(&notes->lock);
  if (notes->count < Notes::ROOM) {
    notes->code[notes->count] = code;
    notes->at[notes->count] = at;
    ++notes->count;
  }
  LeaveCriticalSection(&notes->lock);
}

double Find(Notes* notes, uint32_t code, double after) {
  double found = 0;
  EnterCriticalSection(&notes->lock);
  for (uint32_t i = 0; i < notes->count && found == 0; ++i) {
    if (notes->code[i] == code && notes->at[i] >= after) found = notes->at[i];
  }
  LeaveCriticalSection(&notes->lock);
  return found;
}

void OnWatchMessage(void*, UINT message, WPARAM wParam, LPARAM, const char*) {
  const double at = NowMs();
  if (message == DLM_STATUS_CODE) Note(&WatchNotes, static_cast<uint32_t>(wParam), at);
}

// The display program's dialogs are of the system's dialog class: looking among those only
// keeps the watching light on the wineserver however many windows the desktop has.
const char DIALOG_CLASS[] = "#32770";

HWND VisibleWindow(const char* title) {
  HWND window = FindWindowA(DIALOG_CLASS, title);
  return window != NULL && IsWindowVisible(window) ? window : NULL;
}

}  // namespace

bool WaitDialog(const char* title, const char* text, double deadline, double* visible,
                double* painted) {
  *visible = *painted = 0;
  HWND dialog = NULL;
  while ((dialog = VisibleWindow(title)) == NULL) {
    if (NowMs() > deadline) return false;
    Sleep(1);
  }
  *visible = NowMs();
  char shown[256];
  for (;;) {
    HWND status = GetDlgItem(dialog, IDC_STATUS_TEXT);
    if (status != NULL && GetWindowTextA(status, shown, sizeof shown) >= 0 &&
        lstrcmpA(shown, text) == 0) {
      break;
    }
    if (NowMs() > deadline) return false;
    Sleep(1);
  }
  *painted = NowMs();
  return true;
}

bool WaitNoDialog(const char* title, double deadline) {
  while (VisibleWindow(title) != NULL) {
    if (NowMs() > deadline) return false;
    Sleep(1);
  }
  return true;
}

void NotePublished(uint32_t code) {
  Note(&PublishedNotes, code, NowMs());
}

bool WatchWindowStart() {
  return DisplayWatchStartThread(OnWatchMessage, NULL);
}

double Published(uint32_t code, double after) {
  return Find(&PublishedNotes, code, after);
}

double WatchReceived(uint32_t code, double after) {
  return Find(&WatchNotes, code, after);
}

HANDLE StartProgram(const char* path, const char* args, const char* windowTitle) {
  char line[MAX_PATH * 2];
  snprintf(line, sizeof line, "\"%s\"%s%s", path, args[0] ? " " : "", args);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info;
  if (!CreateProcessA(path, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) return NULL;
  CloseHandle(info.hThread);
  WaitForInputIdle(info.hProcess, 10000);
  const double deadline = NowMs() + 10000;
  while (FindWindowA(DISPLAY_WINDOW_CLASS, windowTitle) == NULL) {
    if (NowMs() > deadline || WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) {
      EndProgram(info.hProcess, NULL, 0);
      return NULL;
    }
    Sleep(1);
  }
  return info.hProcess;
}

HANDLE ProgramOfWindow(const char* windowTitle) {
  HWND window = FindWindowA(DISPLAY_WINDOW_CLASS, windowTitle);
  DWORD id = 0;
  if (window == NULL || GetWindowThreadProcessId(window, &id) == 0) return NULL;
  return OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
}

void EndProgram(HANDLE process, const char* windowTitle, DWORD ms) {
  if (process == NULL) return;
  HWND window = windowTitle ? FindWindowA(DISPLAY_WINDOW_CLASS, windowTitle) : NULL;
  if (window != NULL) PostMessageA(window, WM_DESTROY, 0, 0);
  if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
  }
  CloseHandle(process);
}
