// A hostile neighbour for qvlpanel under Wine: it plays a monitor that writes odd printer
// names, posts codes and models outside every range, installs malformed status message files,
// posts the program's own internal messages from outside and floods the window with codes.
// Whatever happens, qvlpanel must not crash, must keep answering and must end with exit code 0
// on WM_DESTROY, dialogs open or not. One scenario per run:
//   crash              (internal) crash on purpose; used by "selfcheck"
//   selfcheck          a crashing child is seen as crashed: proves the crash detection works
//   names              printer name blocks without NUL, too large, too small, of the wrong kind
//   codes              codes and models outside every range; internal messages from outside
//   files SEED COUNT   COUNT malformed status message files made from SEED
//   burst SEED COUNT   COUNT random codes in one burst, then WM_DESTROY
// qvlpanel.exe must be installed in the system directory. Exit status 0 when every check holds.
//
// One file a scenario (hostile_selfcheck, hostile_names, hostile_codes, hostile_files,
// hostile_burst); this one holds what they share and picks the scenario.
#include "hostile_driver.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kDialogClass[] = "#32770";

std::string SystemDirectory() {
  char dir[MAX_PATH];
  UINT n = GetSystemDirectoryA(dir, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(dir) : std::string();
}

// A window of the program's process: its main window, its dialogs and message boxes.
struct FoundWindows {
  DWORD pid;
  const char* className;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  FoundWindows* found = reinterpret_cast<FoundWindows*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != found->pid) return TRUE;
  char name[64] = "";
  GetClassNameA(window, name, sizeof(name));
  if (strcmp(name, found->className) == 0) found->windows.push_back(window);
  return TRUE;
}

std::vector<HWND> ProcessWindows(DWORD pid, const char* className) {
  FoundWindows found = {pid, className, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
  return found.windows;
}

}  // namespace

int failures = 0;

void Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  printf("FAIL: ");
  vprintf(format, args);
  printf("\n");
  fflush(stdout);
  va_end(args);
  ++failures;
}

void Note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  printf("\n");
  fflush(stdout);
  va_end(args);
}

// ---------------------------------------------------------------------------------------------
// Status message files.

std::string StatusFilePath(LONG model) {
  return SystemDirectory() + "\\" STATUS_FILE_PREFIX + std::to_string(model);
}

bool WriteStatusFile(LONG model, const std::string& bytes) {
  std::string path = StatusFilePath(model);
  RemoveDirectoryA(path.c_str());
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    Fail("cannot write %s (error %lu)", path.c_str(), GetLastError());
    return false;
  }
  DWORD written = 0;
  BOOL ok = bytes.empty() ||
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
  CloseHandle(file);
  if (!ok || written != bytes.size()) Fail("short write to %s", path.c_str());
  return ok != FALSE;
}

void RemoveStatusFile(LONG model) {
  std::string path = StatusFilePath(model);
  if (!DeleteFileA(path.c_str())) RemoveDirectoryA(path.c_str());
}

const Record kRecords[] = {
    {41000, 1, 9, "Paper out in the feeder.", "Load paper into the feeder and press PRINT/RESET."},
    {40021, 1, 6, "Front cover open.", "Close the front cover."},
    {40022, 1, 0, "Warming up.", "Wait until the printer is ready."},
    {40556, 1, 8, "Toner low.", "Have a toner cartridge ready."},
    {40558, 1, 8, "Replace the process unit.", "Install a new process unit."},
    {10003, 2, 5, "Printing.", "Nothing to do."},
    {30016, 1, 2, "Offline.", "Press ON LINE."},
};

std::string RecordText(const Record& r) {
  return "<CODE>\t" + std::to_string(r.code) + "\r\n<GROP>\t" + std::to_string(r.group) +
         "\r\n<ICON>\t" + std::to_string(r.icon) + "\r\n<STAT>\t" + r.status + "\r\n<RCVR>\t" +
         r.recovery + "\r\n";
}

std::string WellFormedFile() {
  std::string text = "# Status messages of a test model\r\n";
  for (const Record& r : kRecords) text += RecordText(r);
  return text + "<CODE>\t0\r\n";
}

const DWORD kProbeCodes[] = {41000, 40021, 40022, 40556, 40558, 10003, 30016, 41999, 20000, 10001};

// ---------------------------------------------------------------------------------------------
// Windows of the program.

std::string WindowText(HWND window) {
  char text[4096] = "";
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

std::string ControlText(HWND dialog, int id) {
  char text[4096] = "";
  HWND control = GetDlgItem(dialog, id);
  if (control != NULL)
    SendMessageTimeoutA(control, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, kAnswerMs, NULL);
  return text;
}

std::string Printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    char piece[8];
    snprintf(piece, sizeof(piece), c >= 32 && c < 127 ? "%c" : "\\x%02X", c);
    out += piece;
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// The program's process.

bool Panel::Start() {
  Kill();
  std::string path = SystemDirectory() + "\\" DISPLAY_PROGRAM_FILE;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  std::string commandLine = "\"" + path + "\"";
  if (!CreateProcessA(path.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                      &process_)) {
    Fail("cannot start %s (error %lu)", path.c_str(), GetLastError());
    return false;
  }
  ++starts_;
  WaitForInputIdle(process_.hProcess, kStartMs);
  for (DWORD waited = 0; waited < kStartMs; waited += kStepMs) {
    window_ = FindMainWindow();
    if (window_ != NULL) return true;
    if (Ended()) break;
    Sleep(kStepMs);
  }
  Fail("no program window after the start");
  Kill();
  return false;
}

HWND Panel::FindMainWindow() const {
  HWND window = NULL;
  while ((window = FindWindowExA(NULL, window, DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE))) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == process_.dwProcessId) return window;
  }
  return NULL;
}

bool Panel::Post(UINT message, WPARAM wParam, LPARAM lParam) {
  // A full queue is not the program's fault; give it a moment and try again.
  for (int tries = 0; tries < 5000; ++tries) {
    if (PostMessageA(window_, message, wParam, lParam)) return true;
    if (Ended() || !IsWindow(window_)) return false;
    Sleep(2);
  }
  return false;
}

bool Panel::Settle(const char* what) {
  for (int round = 0; round < 3; ++round) {
    if (Ended()) return false;
    WaitForInputIdle(process_.hProcess, kAnswerMs);
    if (!Answers()) {
      // A program that a code told to end stops answering while it ends: not a hang (the
      // caller checks that the end was clean).
      if (WaitForSingleObject(process_.hProcess, kAnswerMs) == WAIT_OBJECT_0 || Ended()) {
        return false;
      }
      DWORD start = GetTickCount();
      bool late = false;
      for (int retry = 0; retry < 4 && !late && !Ended(); ++retry) late = Answers();
      Fail("%s: the program does not answer a sent WM_NULL within %lu ms (%s)", what, kAnswerMs,
           late      ? "answers later"
           : Ended() ? "then ends"
                     : "hangs");
      if (late) Note("  answered after %lu ms more", GetTickCount() - start);
      return false;
    }
    Sleep(30);
  }
  return true;
}

std::vector<HWND> Panel::Dialogs() const {
  return ProcessWindows(Pid(), kDialogClass);
}

bool Panel::CheckCleanEnd(const char* what) {
  if (!Ended()) return true;
  DWORD code = ExitCode();
  Release();
  if (code == 0) return true;
  Fail("%s: qvlpanel ended with exit code 0x%08lX", what, code);
  return false;
}

bool Panel::EndWithDestroy(const char* what, DWORD timeoutMs) {
  if (Ended()) return CheckCleanEnd(what);
  PostMessageA(window_, WM_DESTROY, 0, 0);
  if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    Fail("%s: qvlpanel still runs %lu ms after WM_DESTROY", what, timeoutMs);
    Kill();
    return false;
  }
  bool ok = true;
  DWORD code = ExitCode();
  if (code != 0) {
    Fail("%s: qvlpanel ended with exit code 0x%08lX after WM_DESTROY", what, code);
    ok = false;
  }
  if (IsWindow(window_)) {
    Fail("%s: the program's window outlives the program", what);
    ok = false;
  }
  Release();
  return ok;
}

void Panel::Kill() {
  if (process_.hProcess == NULL) return;
  if (!Ended()) {
    TerminateProcess(process_.hProcess, 0xDEAD);
    WaitForSingleObject(process_.hProcess, kEndMs);
  }
  Release();
}

void Panel::Release() {
  if (process_.hProcess != NULL) CloseHandle(process_.hProcess);
  if (process_.hThread != NULL) CloseHandle(process_.hThread);
  process_ = PROCESS_INFORMATION();
  window_ = NULL;
}

HWND WaitForDialog(Panel& panel, const std::string& title, const std::string& text,
                   DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += kStepMs) {
    for (HWND dialog : panel.Dialogs()) {
      if (WindowText(dialog) == title && ControlText(dialog, IDC_STATUS_TEXT) == text) {
        return dialog;
      }
    }
    if (panel.Ended()) break;
    Sleep(kStepMs);
  }
  return NULL;
}

// ---------------------------------------------------------------------------------------------
// The printer name block.

bool NameBlock::Create(DWORD size, const void* bytes, DWORD count) {
  Close();
  handle_ = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, size,
                               SHARED_PRINTER_NAME_MAPPING);
  if (handle_ == NULL || GetLastError() == ERROR_ALREADY_EXISTS) {
    Fail("cannot create a fresh name block of %lu bytes (error %lu)", size, GetLastError());
    Close();
    return false;
  }
  return Write(bytes, count);
}

bool NameBlock::Write(const void* bytes, DWORD count) {
  char* view = static_cast<char*>(MapViewOfFile(handle_, FILE_MAP_WRITE, 0, 0, 0));
  if (view == NULL) {
    Fail("cannot map the name block (error %lu)", GetLastError());
    return false;
  }
  memcpy(view, bytes, count);
  UnmapViewOfFile(view);
  return true;
}

bool NameBlock::WriteName(const char* name) {
  char block[SHARED_PRINTER_NAME_SIZE] = {};
  strncpy(block, name, SHARED_PRINTER_NAME_SIZE - 1);
  return Write(block, sizeof(block));
}

bool NameBlock::CreateImpostor() {
  Close();
  handle_ = CreateEventA(NULL, TRUE, FALSE, SHARED_PRINTER_NAME_MAPPING);
  return handle_ != NULL;
}

void NameBlock::Close() {
  if (handle_ != NULL) CloseHandle(handle_);
  handle_ = NULL;
}

// ---------------------------------------------------------------------------------------------
// The run: no debugger on a crash, no program left over, then the scenario.

namespace {

// A crash must end the program with its exception code, not wait for a debugger or a dialog.
// Returns false when the settings could not be made.
bool NoDebuggerOnCrash() {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                      "Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug", 0, NULL, 0,
                      KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS) {
    return false;
  }
  const char debugger[] = "C:\\windows\\no-debugger-here.exe %ld %ld";
  const char autostart[] = "1";
  bool ok = RegSetValueExA(key, "Debugger", 0, REG_SZ, reinterpret_cast<const BYTE*>(debugger),
                           sizeof(debugger)) == ERROR_SUCCESS &&
            RegSetValueExA(key, "Auto", 0, REG_SZ, reinterpret_cast<const BYTE*>(autostart),
                           sizeof(autostart)) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

// Ends a qvlpanel left over from an earlier run, so that nothing posted here reaches it.
bool NoProgramRunning() {
  HWND window = FindWindowA(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE);
  for (DWORD waited = 0; window != NULL && waited < kEndMs; waited += kStepMs) {
    if (waited == 0) PostMessageA(window, WM_DESTROY, 0, 0);
    Sleep(kStepMs);
    window = FindWindowA(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE);
  }
  if (window != NULL) printf("a qvlpanel from an earlier run does not end\n");
  return window == NULL;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, NULL, _IONBF, 0);
  if (argc < 2) return 2;
  const char* c = argv[1];
  if (!strcmp(c, "crash")) return Crash();
  if (!NoDebuggerOnCrash()) {
    printf("cannot switch the crash debugger off\n");
    return 1;
  }
  if (!strcmp(c, "selfcheck")) return SelfCheck(argv[0]);
  if (!NoProgramRunning()) return 1;
  if (!strcmp(c, "names")) return Names();
  if (!strcmp(c, "codes")) return Codes();
  if (!strcmp(c, "files") && argc == 4) return Files(strtoul(argv[2], NULL, 0), atoi(argv[3]));
  if (!strcmp(c, "burst") && argc == 4) return Burst(strtoul(argv[2], NULL, 0), atoi(argv[3]));
  fprintf(stderr, "hostile_driver: bad command\n");
  return 2;
}
