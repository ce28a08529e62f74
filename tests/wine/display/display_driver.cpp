// Plays the monitor's side of the display link for qvlpanel under Wine, and reads back what
// the program shows. One command per run, so a script can take screenshots and press keys in
// between:
//   hold NAME SECONDS          create the printer name block and the drum reset event, keep them
//   publish NAME CODE MODEL SECONDS  serve printer NAME (UTF-16: \uXXXX escapes) in the spooler
//                              stand-in's store with a status of one code, keep it so
//   launch-signin              start qvlpanel.exe /signin /all from the system directory
//   setname NAME [--fill]      rewrite the name (--fill: 48 bytes, no NUL)
//   stop                       end a running "hold"
//   launch                     start qvlpanel.exe from the system directory as the monitor does
//   post CODE MODEL            post a status code to the program's window
//   destroy [signin]           post WM_DESTROY to the program's window (the sign-in program's)
//   window TITLE present|absent
//   windows TITLE N [ID TEXT]  N windows of that title (with that control text), N programs'
//   text TITLE ID TEXT         a control's text (\r, \n, \t escapes in TEXT)
// TITLE and TEXT of window, text, click and picture may hold \uXXXX escapes: they are compared
// in UTF-16, as the program's Unicode windows hold them.
//   click TITLE ID             press a button of a dialog or message box
//   hotkey TITLE [CODE MODEL]  the drum reset hot key to a dialog; then at once a status code
//   centred TITLE              the window is centred on the screen
//   picture TITLE yes|no [WIDTH]  a picture is drawn in the recovery dialog's frame (WIDTH
//                              pixels wide: the one drawn for the DPI)
//   event set|clear            state of the drum reset event
//   running yes|no|N           whether a qvlpanel.exe process exists; N: that many of them
//   codepage N                 the system's code page (GetACP) is N
// Exit status 0 when the check holds (waiting up to 5 s for it), 1 otherwise.
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "display_link.h"
#include "session_link.h"
#include "printer_store.h"

namespace {

const char kStopEvent[] = "QVL display test stop";
const DWORD kWaitMs = 5000;
const DWORD kStepMs = 50;

// Waits until check() holds or the time is up.
template <typename Check>
bool WaitFor(Check check) {
  for (DWORD waited = 0;; waited += kStepMs) {
    if (check()) return true;
    if (waited >= kWaitMs) return false;
    Sleep(kStepMs);
  }
}

HWND MainWindow() {
  return FindWindowA(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE);
}
HWND SessionWindow() {
  return FindWindowA(DISPLAY_WINDOW_CLASS, DISPLAY_SESSION_WINDOW_TITLE);
}

void Unescape(const char* in, char* out, size_t size) {
  size_t n = 0;
  for (; *in != '\0' && n + 1 < size; ++in) {
    if (in[0] == '\\' && in[1] != '\0') {
      ++in;
      out[n++] = *in == 'r' ? '\r' : *in == 'n' ? '\n' : *in == 't' ? '\t' : *in;
    } else {
      out[n++] = *in;
    }
  }
  out[n] = '\0';
}

// An argument in UTF-16: ASCII as it is, \r \n \t and \uXXXX escapes.
void WideArgument(const char* in, wchar_t* out, size_t size) {
  size_t n = 0;
  for (; *in != '\0' && n + 1 < size; ++in) {
    if (in[0] == '\\' && in[1] == 'u' && strlen(in) >= 6) {
      char digits[5] = {in[2], in[3], in[4], in[5], '\0'};
      out[n++] = static_cast<wchar_t>(strtoul(digits, NULL, 16));
      in += 5;
    } else if (in[0] == '\\' && in[1] != '\0') {
      ++in;
      out[n++] = *in == 'r' ? L'\r' : *in == 'n' ? L'\n' : *in == 't' ? L'\t' : *in;
    } else {
      out[n++] = static_cast<unsigned char>(*in);
    }
  }
  out[n] = 0;
}

HWND FindTitle(const char* title) {
  wchar_t wide[1024];
  WideArgument(title, wide, 1024);
  return FindWindowW(NULL, wide);
}

void WriteName(char* block, const char* name, bool fill) {
  memset(block, 0, SHARED_PRINTER_NAME_SIZE);
  if (fill) {
    memset(block, 'W', SHARED_PRINTER_NAME_SIZE);  // a writer that leaves no NUL
  } else {
    strncpy(block, name, SHARED_PRINTER_NAME_SIZE - 1);
  }
}

int Hold(const char* name, int seconds) {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                      SHARED_PRINTER_NAME_SIZE, SHARED_PRINTER_NAME_MAPPING);
  char* view = mapping ? static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) : NULL;
  // As a status thread does: manual reset, created signalled and reset at once.
  HANDLE drum = CreateEventA(NULL, TRUE, TRUE, DRUM_RESET_EVENT_NAME);
  HANDLE stop = CreateEventA(NULL, TRUE, FALSE, kStopEvent);
  if (view == NULL || drum == NULL || stop == NULL) {
    printf("hold: cannot create the shared objects (error %lu)\n", GetLastError());
    return 1;
  }
  ResetEvent(drum);
  WriteName(view, name, false);
  UnmapViewOfFile(view);
  printf("ready\n");
  fflush(stdout);
  WaitForSingleObject(stop, static_cast<DWORD>(seconds) * 1000);
  CloseHandle(stop);
  CloseHandle(drum);
  CloseHandle(mapping);
  return 0;
}

// The spooler's side of the NT display link, as far as the program reads it: a spooler of the
// stand-in's store holding printer NAME, whose data carries a status of one code.
int Publish(const char* name, DWORD code, DWORD model, int seconds) {
  HANDLE stop = CreateEventA(NULL, TRUE, FALSE, kStopEvent);
  wchar_t wide[SESSION_PRINTER_CHARS];
  WideArgument(name, wide, SESSION_PRINTER_CHARS);
  SessionStatus status = {SESSION_STATUS_VERSION, GetTickCount() | 1, 1, code, model, 0, {}};
  status.recent[1] = code;
  if (stop == NULL || !StoreSpoolerStart() || !StoreRegisterPrinter(wide, 0) ||
      StoreSetData(wide, SESSION_DATA_KEY, SESSION_STATUS_VALUE, REG_BINARY,
                   reinterpret_cast<const BYTE*>(&status), sizeof status) != ERROR_SUCCESS) {
    printf("publish: cannot serve the printer (error %lu)\n", GetLastError());
    return 1;
  }
  printf("ready\n");
  fflush(stdout);
  WaitForSingleObject(stop, static_cast<DWORD>(seconds) * 1000);
  StoreSpoolerEnd();
  CloseHandle(stop);
  return 0;
}

// Starts qvlpanel.exe from the system directory as the sign-in start does, for every printer.
int LaunchSignIn() {
  char path[MAX_PATH];
  UINT n = GetSystemDirectoryA(path, MAX_PATH - 40);
  if (n == 0) return 1;
  strcat(path, "\\" DISPLAY_PROGRAM_FILE " " DISPLAY_SIGNIN_SWITCH " " DISPLAY_ALL_SWITCH);
  UINT result = WinExec(path, SW_HIDE);
  if (result <= 31) {
    printf("launch-signin: WinExec(%s) gave %u\n", path, result);
    return 1;
  }
  if (!WaitFor([] { return SessionWindow() != NULL; })) {
    printf("launch-signin: no window \"%s\" after the start\n", DISPLAY_SESSION_WINDOW_TITLE);
    return 1;
  }
  return 0;
}

int SetName(const char* name, bool fill) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, SHARED_PRINTER_NAME_MAPPING);
  char* view = mapping ? static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) : NULL;
  if (view == NULL) {
    printf("setname: no shared block\n");
    return 1;
  }
  WriteName(view, name, fill);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return 0;
}

int Stop() {
  HANDLE stop = OpenEventA(EVENT_ALL_ACCESS, FALSE, kStopEvent);
  if (stop == NULL) return 0;
  SetEvent(stop);
  CloseHandle(stop);
  return 0;
}

int Launch() {
  char path[MAX_PATH];
  UINT n = GetSystemDirectoryA(path, MAX_PATH - 16);
  if (n == 0) return 1;
  strcat(path, "\\" DISPLAY_PROGRAM_FILE);
  UINT result = WinExec(path, SW_HIDE);
  if (result <= 31) {
    printf("launch: WinExec(%s) gave %u\n", path, result);
    return 1;
  }
  if (!WaitFor([] { return MainWindow() != NULL; })) {
    printf("launch: no window \"%s\" after the start\n", DISPLAY_WINDOW_TITLE);
    return 1;
  }
  return 0;
}

int PostToMain(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND main = MainWindow();
  if (main == NULL) {
    printf("post: no program window\n");
    return 1;
  }
  return PostMessageA(main, message, wParam, lParam) ? 0 : 1;
}

int Window(const char* title, bool present) {
  if (WaitFor([&] { return (FindTitle(title) != NULL) == present; })) return 0;
  printf("window \"%s\": expected %s\n", title, present ? "present" : "absent");
  return 1;
}

// The windows of this title and, with an id, that control text; each of another program.
int WindowsOf(const char* title, int id, const char* text) {
  int count = 0, programs = 0;
  DWORD seen[16];
  HWND w = NULL;
  while ((w = FindWindowExA(NULL, w, NULL, title)) != NULL) {
    char got[1024] = "";
    if (id != 0) GetDlgItemTextA(w, id, got, sizeof(got));
    if (id != 0 && strcmp(got, text) != 0) continue;
    DWORD process = 0;
    GetWindowThreadProcessId(w, &process);
    bool known = false;
    for (int i = 0; i < programs; ++i) known = known || seen[i] == process;
    if (!known && programs < 16) seen[programs++] = process;
    ++count;
  }
  return count == programs ? count : -1;
}

int Windows(const char* title, int expected, int id, const char* escaped) {
  char text[1024] = "";
  Unescape(escaped, text, sizeof(text));
  int got = 0;
  if (WaitFor([&] { return (got = WindowsOf(title, id, text)) == expected; })) return 0;
  printf("windows \"%s\"%s: %d (-1: two of one program), expected %d\n", title,
         id != 0 ? " with that text" : "", got, expected);
  return 1;
}

int Text(const char* title, int id, const char* escaped) {
  wchar_t expected[1024];
  wchar_t got[1024] = L"";
  WideArgument(escaped, expected, 1024);
  if (WaitFor([&] {
        HWND w = FindTitle(title);
        got[0] = 0;
        if (w != NULL) GetDlgItemTextW(w, id, got, 1024);
        return wcscmp(got, expected) == 0;
      })) {
    return 0;
  }
  printf("text of control %d in \"%s\": got \"", id, title);
  for (const wchar_t* c = got; *c != 0; ++c) {
    if (*c >= 0x20 && *c < 0x7F) {
      putchar(static_cast<char>(*c));
    } else {
      printf("\\u%04x", static_cast<unsigned>(*c));
    }
  }
  printf("\", expected \"%s\"\n", escaped);
  return 1;
}

int Click(const char* title, int id) {
  HWND w = NULL;
  if (!WaitFor([&] { return (w = FindTitle(title)) != NULL; })) {
    printf("click: no window \"%s\"\n", title);
    return 1;
  }
  HWND button = GetDlgItem(w, id);
  return PostMessageA(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button))
             ? 0
             : 1;
}

// The hot key's message, as the system posts it; with a code, that code goes to the program's
// window right behind it. The program's thread is held meanwhile, so it finds both messages
// waiting: the code is handled before the prompt the hot key asks for.
int HotKey(const char* title, const char* code, const char* model) {
  HWND w = NULL;
  if (!WaitFor([&] { return (w = FindWindowA(NULL, title)) != NULL; })) {
    printf("hotkey: no window \"%s\"\n", title);
    return 1;
  }
  HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(w, NULL));
  if (thread == NULL || SuspendThread(thread) == static_cast<DWORD>(-1)) {
    printf("hotkey: cannot hold the program's thread (error %lu)\n", GetLastError());
    if (thread != NULL) CloseHandle(thread);
    return 1;
  }
  bool posted = PostMessageA(w, WM_HOTKEY, 1, MAKELPARAM(MOD_CONTROL | MOD_SHIFT, VK_F1)) &&
                (code == NULL || PostToMain(DLM_STATUS_CODE, atoi(code), atoi(model)) == 0);
  ResumeThread(thread);
  CloseHandle(thread);
  return posted ? 0 : 1;
}

int Centred(const char* title) {
  HWND w = FindWindowA(NULL, title);
  RECT window, client;
  if (w == NULL || !GetWindowRect(w, &window) || !GetClientRect(w, &client)) return 1;
  int x = (GetSystemMetrics(SM_CXSCREEN) - client.right) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - client.bottom - GetSystemMetrics(SM_CYCAPTION)) / 2;
  if (window.left == x && window.top == y) return 0;
  printf("centred \"%s\": at %ld,%ld, expected %d,%d\n", title, window.left, window.top, x, y);
  return 1;
}

// Samples the screen over the middle of the picture frame (dialog units 15,35 to 175,115,
// found through the group box at 5,26 to 185,196).
int Picture(const char* title, bool expected, int width) {
  HWND w = FindTitle(title);
  // The group box's id is -1: 0xFFFF in a DIALOG template, 32 bits wide in a DIALOGEX one.
  HWND group = w ? GetDlgItem(w, -1) : NULL;
  if (w != NULL && group == NULL) group = GetDlgItem(w, 0xFFFF);
  RECT box;
  if (group == NULL || !GetWindowRect(group, &box)) {
    printf("picture: no recovery dialog \"%s\"\n", title);
    return 1;
  }
  double sx = (box.right - box.left) / 180.0;
  double sy = (box.bottom - box.top) / 170.0;
  COLORREF face = GetSysColor(COLOR_3DFACE);
  bool drawn = false;
  HDC screen = GetDC(NULL);
  for (int dx = 60; dx <= 120 && !drawn; dx += 10) {
    for (int dy = 55; dy <= 95 && !drawn; dy += 10) {
      COLORREF c = GetPixel(screen, box.left + static_cast<int>((dx - 5) * sx),
                            box.top + static_cast<int>((dy - 26) * sy));
      if (c != CLR_INVALID && c != face) drawn = true;
    }
  }
  // Its width: the run of other colours than the dialog's across the frame's middle row.
  int drawnWidth = 0;
  if (drawn && width != 0) {
    const int y = box.top + static_cast<int>((75 - 26) * sy);
    int left = -1, right = -1;
    for (int x = box.left + 2; x < box.right - 2; ++x) {
      COLORREF c = GetPixel(screen, x, y);
      if (c == CLR_INVALID || c == face) continue;
      if (left < 0) left = x;
      right = x;
    }
    drawnWidth = left < 0 ? 0 : right - left + 1;
  }
  ReleaseDC(NULL, screen);
  if (drawn == expected && drawnWidth == width) return 0;
  if (drawn == expected) {
    printf("picture in \"%s\": %d pixels wide, expected %d\n", title, drawnWidth, width);
  } else {
    printf("picture in \"%s\": expected %s\n", title, expected ? "a picture" : "none");
  }
  return 1;
}

int EventState(bool expectSet) {
  HANDLE e = OpenEventA(EVENT_ALL_ACCESS, FALSE, DRUM_RESET_EVENT_NAME);
  if (e == NULL) {
    printf("event: does not exist\n");
    return 1;
  }
  bool ok = WaitFor([&] { return (WaitForSingleObject(e, 0) == WAIT_OBJECT_0) == expectSet; });
  if (ok && expectSet) ResetEvent(e);  // as the monitor does once the command went out
  CloseHandle(e);
  if (!ok) printf("event: expected %s\n", expectSet ? "set" : "clear");
  return ok ? 0 : 1;
}

int ProgramsRunning() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof(entry);
  int found = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    found += lstrcmpiA(entry.szExeFile, DISPLAY_PROGRAM_FILE) == 0 ? 1 : 0;
  }
  CloseHandle(snapshot);
  return found;
}

// yes: at least one program; no: none; a number: exactly that many.
int Running(const char* expected) {
  const bool yes = !strcmp(expected, "yes"), no = !strcmp(expected, "no");
  const int count = atoi(expected);
  int got = 0;
  if (WaitFor([&] {
        got = ProgramsRunning();
        return yes ? got > 0 : no ? got == 0 : got == count;
      })) {
    return 0;
  }
  printf("running: %d qvlpanel.exe, expected %s\n", got, expected);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* c = argv[1];
  if (!strcmp(c, "hold") && argc == 4) return Hold(argv[2], atoi(argv[3]));
  if (!strcmp(c, "publish") && argc == 6)
    return Publish(argv[2], strtoul(argv[3], NULL, 10), strtoul(argv[4], NULL, 10), atoi(argv[5]));
  if (!strcmp(c, "launch-signin")) return LaunchSignIn();
  if (!strcmp(c, "setname") && argc >= 3) return SetName(argv[2], argc == 4);
  if (!strcmp(c, "stop")) return Stop();
  if (!strcmp(c, "launch")) return Launch();
  if (!strcmp(c, "post") && argc == 4)
    return PostToMain(DLM_STATUS_CODE, atoi(argv[2]), atoi(argv[3]));
  if (!strcmp(c, "destroy") && argc == 3 && !strcmp(argv[2], "signin")) {
    return SessionWindow() && PostMessageA(SessionWindow(), WM_DESTROY, 0, 0) ? 0 : 1;
  }
  if (!strcmp(c, "destroy")) return PostToMain(WM_DESTROY, 0, 0);
  if (!strcmp(c, "window") && argc == 4) return Window(argv[2], !strcmp(argv[3], "present"));
  if (!strcmp(c, "text") && argc == 5) return Text(argv[2], atoi(argv[3]), argv[4]);
  if (!strcmp(c, "click") && argc == 4) return Click(argv[2], atoi(argv[3]));
  if (!strcmp(c, "hotkey") && (argc == 3 || argc == 5))
    return HotKey(argv[2], argc == 5 ? argv[3] : NULL, argc == 5 ? argv[4] : NULL);
  if (!strcmp(c, "centred") && argc == 3) return Centred(argv[2]);
  if (!strcmp(c, "picture") && (argc == 4 || argc == 5))
    return Picture(argv[2], !strcmp(argv[3], "yes"), argc == 5 ? atoi(argv[4]) : 0);
  if (!strcmp(c, "event") && argc == 3) return EventState(!strcmp(argv[2], "set"));
  if (!strcmp(c, "windows") && (argc == 4 || argc == 6))
    return Windows(argv[2], atoi(argv[3]), argc == 6 ? atoi(argv[4]) : 0, argc == 6 ? argv[5] : "");
  if (!strcmp(c, "running") && argc == 3) return Running(argv[2]);
  if (!strcmp(c, "codepage") && argc == 3) {
    if (GetACP() == strtoul(argv[2], NULL, 10)) return 0;
    printf("codepage: %u, expected %s\n", GetACP(), argv[2]);
    return 1;
  }
  fprintf(stderr, "display_driver: bad command\n");
  return 2;
}
