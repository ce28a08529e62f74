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
#include <windows.h>

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display_link.h"

namespace {

const DWORD kStartMs = 10000;  // program start until its window exists
const DWORD kAnswerMs = 5000;  // a WM_NULL must be answered within this
const DWORD kEndMs = 10000;    // WM_DESTROY until the process is gone
const DWORD kBurstMs = 60000;  // a whole burst, WM_DESTROY included
const DWORD kStepMs = 20;
const DWORD kCrashSeenMs = 10000;

const char kDialogClass[] = "#32770";
const char kStatusSuffix[] = " - Status Display";
const char kFallbackStatus[] = "Status Display";
const int kStatusTextId = 1202;
const int kRecoveryTextId = 1201;
const int kRecoveryButtonId = 201;
const size_t kStatusTextMax = 79;
const size_t kRecoveryTextMax = 511;

int failures = 0;

void Fail(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
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

void Note(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
void Note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  printf("\n");
  fflush(stdout);
  va_end(args);
}

// Deterministic on every platform and bitness, unlike rand().
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t n) { return n == 0 ? 0 : Next() % n; }
  uint32_t Between(uint32_t low, uint32_t high) { return low + Below(high - low + 1); }

 private:
  uint32_t state_;
};

std::string SystemDirectory() {
  char dir[MAX_PATH];
  UINT n = GetSystemDirectoryA(dir, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(dir) : std::string();
}

// The status message file of a model, named the way the program names it.
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

// One running qvlpanel, started from the system directory.
class Panel {
 public:
  ~Panel() { Kill(); }

  bool Start() {
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

  // The program's main window, among other windows of the same class and title.
  HWND FindMainWindow() const {
    HWND window = NULL;
    while ((window = FindWindowExA(NULL, window, DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE))) {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      if (pid == process_.dwProcessId) return window;
    }
    return NULL;
  }

  bool Started() const { return process_.hProcess != NULL; }
  bool Ended() const {
    return process_.hProcess == NULL || WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
  }
  DWORD ExitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }
  HWND Window() const { return window_; }
  DWORD Pid() const { return process_.dwProcessId; }
  int Starts() const { return starts_; }

  bool Post(UINT message, WPARAM wParam, LPARAM lParam) {
    // A full queue is not the program's fault; give it a moment and try again.
    for (int tries = 0; tries < 5000; ++tries) {
      if (PostMessageA(window_, message, wParam, lParam)) return true;
      if (Ended() || !IsWindow(window_)) return false;
      Sleep(2);
    }
    return false;
  }
  bool PostCode(WPARAM code, LPARAM model) { return Post(DLM_STATUS_CODE, code, model); }

  // The program takes a sent message within kAnswerMs, whether a dialog is open or not.
  bool Answers() const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerMs, &result) != 0;
  }

  // Lets the program work through what was posted: it goes idle and answers again.
  bool Settle(const char* what) {
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

  std::vector<HWND> Dialogs() const { return ProcessWindows(Pid(), kDialogClass); }

  // The program ended by itself: that must have been a clean end. Returns true when so.
  bool CheckCleanEnd(const char* what) {
    if (!Ended()) return true;
    DWORD code = ExitCode();
    Release();
    if (code == 0) return true;
    Fail("%s: qvlpanel ended with exit code 0x%08lX", what, code);
    return false;
  }

  // Posts WM_DESTROY as the monitor does and expects the program gone within timeoutMs, with
  // exit code 0 and its window gone.
  bool EndWithDestroy(const char* what, DWORD timeoutMs = kEndMs) {
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

  void Kill() {
    if (process_.hProcess == NULL) return;
    if (!Ended()) {
      TerminateProcess(process_.hProcess, 0xDEAD);
      WaitForSingleObject(process_.hProcess, kEndMs);
    }
    Release();
  }

 private:
  void Release() {
    if (process_.hProcess != NULL) CloseHandle(process_.hProcess);
    if (process_.hThread != NULL) CloseHandle(process_.hThread);
    process_ = PROCESS_INFORMATION();
    window_ = NULL;
  }

  PROCESS_INFORMATION process_ = {};
  HWND window_ = NULL;
  int starts_ = 0;
};

// The named block the monitor writes the printer name into, created by this process in any
// shape it likes.
class NameBlock {
 public:
  ~NameBlock() { Close(); }

  bool Create(DWORD size, const void* bytes, DWORD count) {
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

  bool Write(const void* bytes, DWORD count) {
    char* view = static_cast<char*>(MapViewOfFile(handle_, FILE_MAP_WRITE, 0, 0, 0));
    if (view == NULL) {
      Fail("cannot map the name block (error %lu)", GetLastError());
      return false;
    }
    memcpy(view, bytes, count);
    UnmapViewOfFile(view);
    return true;
  }

  bool WriteName(const char* name) {
    char block[SHARED_PRINTER_NAME_SIZE] = {};
    strncpy(block, name, SHARED_PRINTER_NAME_SIZE - 1);
    return Write(block, sizeof(block));
  }

  // An object of another kind under the block's name.
  bool CreateImpostor() {
    Close();
    handle_ = CreateEventA(NULL, TRUE, FALSE, SHARED_PRINTER_NAME_MAPPING);
    return handle_ != NULL;
  }

  void Close() {
    if (handle_ != NULL) CloseHandle(handle_);
    handle_ = NULL;
  }

 private:
  HANDLE handle_ = NULL;
};

// ---------------------------------------------------------------------------------------------
// Crash detection self-check.

int Crash() {
  Sleep(200);
  volatile int* nowhere = NULL;
  *nowhere = 1;
  return 0;
}

int SelfCheck(const char* self) {
  std::string commandLine = std::string("\"") + self + "\" crash";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child = {};
  if (!CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) {
    Fail("cannot start the crashing child (error %lu)", GetLastError());
    return 1;
  }
  if (WaitForSingleObject(child.hProcess, kCrashSeenMs) != WAIT_OBJECT_0) {
    Fail("a crashing process is still there after %lu ms: a debugger or crash dialog holds it",
         kCrashSeenMs);
    TerminateProcess(child.hProcess, 1);
  } else {
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    if (code != EXCEPTION_ACCESS_VIOLATION) {
      Fail("a crashing process ended with 0x%08lX, not 0x%08lX", code,
           static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    } else {
      Note("a crash ends the process with 0x%08lX", code);
    }
  }
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return failures ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// A well-formed status message file to start from.

struct Record {
  DWORD code;
  int group;
  int icon;
  const char* status;
  const char* recovery;
};

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

// The codes that the files above know, and a few that they do not.
const DWORD kProbeCodes[] = {41000, 40021, 40022, 40556, 40558, 10003, 30016, 41999, 20000, 10001};

// Waits until the program shows a dialog whose title is title and whose status text is text.
HWND WaitForDialog(Panel& panel, const std::string& title, const std::string& text,
                   DWORD timeoutMs = kAnswerMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += kStepMs) {
    for (HWND dialog : panel.Dialogs()) {
      if (WindowText(dialog) == title && ControlText(dialog, kStatusTextId) == text) return dialog;
    }
    if (panel.Ended()) break;
    Sleep(kStepMs);
  }
  return NULL;
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
// Printer name blocks.

const LONG kNamesModel = 9860;

// Starts the program, posts a code whose record opens the status dialog, and expects a dialog
// titled title (or orTitle, when given); then ends the program with the dialog open.
void ExpectTitle(const char* what, const std::string& title, const std::string& orTitle = "") {
  Panel panel;
  if (!panel.Start()) return;
  panel.PostCode(41000, kNamesModel);
  HWND dialog = WaitForDialog(panel, title, "Paper out in the feeder.\r\n");
  if (dialog == NULL && !orTitle.empty()) {
    dialog = WaitForDialog(panel, orTitle, "Paper out in the feeder.\r\n", kStepMs);
  }
  if (dialog == NULL) {
    std::string seen;
    for (HWND d : panel.Dialogs()) seen += " \"" + Printable(WindowText(d)) + "\"";
    Fail("%s: no dialog titled \"%s\" (dialogs:%s)", what, Printable(title).c_str(),
         seen.empty() ? " none" : seen.c_str());
    panel.CheckCleanEnd(what);
  } else {
    Note("ok: %s", what);
  }
  panel.EndWithDestroy(what);
}

int Names() {
  if (!WriteStatusFile(kNamesModel, WellFormedFile())) return 1;
  NameBlock block;

  // The monitor's own shape, full to the last byte: the name is the whole block.
  std::string full(SHARED_PRINTER_NAME_SIZE, 'Q');
  if (block.Create(SHARED_PRINTER_NAME_SIZE, full.data(), SHARED_PRINTER_NAME_SIZE)) {
    ExpectTitle("48-byte block without NUL", full + kStatusSuffix);
  }

  // Bytes of every kind but NUL, high bytes and control bytes included.
  std::string odd;
  for (int i = 0; i < SHARED_PRINTER_NAME_SIZE; ++i) {
    odd += static_cast<char>(i % 2 ? 0xA0 + i : 1 + i % 31);
  }
  if (block.Create(SHARED_PRINTER_NAME_SIZE, odd.data(), SHARED_PRINTER_NAME_SIZE)) {
    ExpectTitle("48 control and high bytes without NUL", odd + kStatusSuffix);
  }

  // A creator that made the block a page and more, with no NUL anywhere: nothing past the
  // first 48 bytes may be read.
  const DWORD kLarge = 3 * 4096;
  std::string large(kLarge, 'L');
  for (DWORD i = SHARED_PRINTER_NAME_SIZE; i < kLarge; ++i)
    large[i] = static_cast<char>('a' + i % 26);
  if (block.Create(kLarge, large.data(), kLarge)) {
    ExpectTitle("12 KB block without NUL",
                large.substr(0, SHARED_PRINTER_NAME_SIZE) + kStatusSuffix);
  }

  // An empty name: the title is the suffix alone.
  if (block.Create(SHARED_PRINTER_NAME_SIZE, "", 1)) {
    ExpectTitle("empty name", kStatusSuffix);
  }

  // A block of one byte: Windows refuses a 48-byte view of it (fallback titles); Wine maps
  // the whole page, whose other bytes are zero.
  if (block.Create(1, "X", 1)) {
    ExpectTitle("1-byte block", kFallbackStatus, std::string("X") + kStatusSuffix);
  }

  // An event under the block's name.
  if (block.CreateImpostor()) ExpectTitle("an event under the block's name", kFallbackStatus);
  block.Close();

  RemoveStatusFile(kNamesModel);
  return failures ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Codes and models outside every range; the program's internal messages posted from outside.

const LONG kCodesModel = 9861;

bool Is64Bit() {
  return sizeof(void*) == 8;
}

void ExpectNoDialog(Panel& panel, const char* what) {
  if (!panel.Settle(what)) {
    if (panel.CheckCleanEnd(what)) Fail("%s: the program ended", what);
    return;
  }
  std::vector<HWND> dialogs = panel.Dialogs();
  if (!dialogs.empty()) {
    Fail("%s: %zu dialog(s) opened, the first titled \"%s\"", what, dialogs.size(),
         Printable(WindowText(dialogs[0])).c_str());
  } else {
    Note("ok: %s", what);
  }
}

// The dialog stays open with the text it had.
void ExpectDialogUnchanged(Panel& panel, const char* what, const std::string& title,
                           const std::string& text) {
  if (!panel.Settle(what)) {
    if (panel.CheckCleanEnd(what)) Fail("%s: the program ended", what);
    return;
  }
  std::vector<HWND> dialogs = panel.Dialogs();
  if (dialogs.size() != 1 || WindowText(dialogs[0]) != title ||
      ControlText(dialogs[0], kStatusTextId) != text) {
    Fail("%s: expected one dialog \"%s\" showing \"%s\", found %zu", what, title.c_str(),
         Printable(text).c_str(), dialogs.size());
  } else {
    Note("ok: %s", what);
  }
}

int Codes() {
  if (!WriteStatusFile(kCodesModel, WellFormedFile())) return 1;
  NameBlock block;
  if (!block.Create(SHARED_PRINTER_NAME_SIZE, "", 1) || !block.WriteName("Hostile")) return 1;
  const std::string title = std::string("Hostile") + kStatusSuffix;

  std::vector<WPARAM> outside = {0,
                                 1,
                                 9999,
                                 10000,
                                 50555,
                                 99999,
                                 100000,
                                 0x7FFFFFFF,
                                 0x80000000,
                                 0xFFFFFFFF,
                                 41000 - 0x10000u,
                                 40021u ^ 0x80000000u};
  if (Is64Bit()) {
    // Beyond 32 bits: not a code of any printer, whatever the low half says.
    const uint64_t high = 1ull << 32;
    for (uint64_t low : {41000ull, 40021ull, 10001ull}) {
      outside.push_back(static_cast<WPARAM>(high + low));
    }
    outside.push_back(static_cast<WPARAM>(~0ull));
  }
  std::vector<LPARAM> models = {kCodesModel, 0, -1, 3470, static_cast<LPARAM>(0x80000000u)};
  std::vector<LPARAM> missing = {0,
                                 1,
                                 99999,
                                 static_cast<LPARAM>(0xFFFFFFFFu),
                                 -1,
                                 -3820,
                                 static_cast<LPARAM>(0x80000000u),
                                 0x7FFFFFFF};
  if (Is64Bit()) {
    missing.push_back(static_cast<LPARAM>((1ull << 32) + kCodesModel));
    missing.push_back(static_cast<LPARAM>(~0ull >> 1));
  }
  for (LPARAM model : missing) {
    DWORD attributes = GetFileAttributesA(StatusFilePath(static_cast<LONG>(model)).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      Note("note: %s exists; model %lld is not a model without a file here",
           StatusFilePath(static_cast<LONG>(model)).c_str(), static_cast<long long>(model));
    }
  }

  Panel panel;
  if (!panel.Start()) return 1;

  for (WPARAM code : outside) {
    for (LPARAM model : models) panel.PostCode(code, model);
  }
  ExpectNoDialog(panel, "codes outside every range open nothing");

  for (LPARAM model : missing) {
    for (DWORD code : kProbeCodes) panel.PostCode(code, model);
  }
  ExpectNoDialog(panel, "codes for models without a status file open nothing");

  // Still working: a code of a known model opens its dialog.
  panel.PostCode(41000, kCodesModel);
  if (WaitForDialog(panel, title, "Paper out in the feeder.\r\n") == NULL) {
    Fail("a valid code after the junk opens no dialog");
  }
  for (WPARAM code : outside) panel.PostCode(code, kCodesModel);
  for (LPARAM model : missing) panel.PostCode(40021, model);
  ExpectDialogUnchanged(panel, "junk with the dialog open leaves it as it was", title,
                        "Paper out in the feeder.\r\n");
  panel.EndWithDestroy("WM_DESTROY after junk codes");

  // Two codes in a row, as a monitor forwards them from a busy port: one dialog, showing the
  // second entry.
  if (panel.Start()) {
    const char* what = "two codes in a row";
    panel.PostCode(41000, kCodesModel);
    panel.PostCode(40021, kCodesModel);
    if (WaitForDialog(panel, title, "Front cover open.\r\n") == NULL) {
      Fail("%s: no dialog shows the second code", what);
    }
    ExpectDialogUnchanged(panel, what, title, "Front cover open.\r\n");
    panel.EndWithDestroy(what);
  }

  // Another program's window that happens to carry the dialog's title is not the dialog.
  HWND decoy = CreateWindowExA(0, "STATIC", title.c_str(), WS_POPUP, 0, 0, 50, 20, NULL, NULL,
                               GetModuleHandleA(NULL), NULL);
  if (decoy != NULL && panel.Start()) {
    const char* what = "a window of another program titled like the dialog";
    panel.PostCode(41000, kCodesModel);
    if (WaitForDialog(panel, title, "Paper out in the feeder.\r\n") == NULL) {
      Fail("%s: the program opens no dialog of its own", what);
    } else {
      Note("ok: %s", what);
    }
    panel.EndWithDestroy(what);
  }
  if (decoy != NULL) DestroyWindow(decoy);

  // Messages that the program only ever posts to itself, posted by another program. Each
  // may open a dialog, but never one inside another.
  const UINT kInternal[] = {DLM_ENTRY_READY, DLM_OPEN_STATUS, DLM_OPEN_RECOVERY};
  const int kRepeats = 200;
  for (UINT message : kInternal) {
    char what[96];
    snprintf(what, sizeof(what), "%d times message %u from outside", kRepeats, message);
    if (!panel.Start()) continue;
    for (int i = 0; i < kRepeats; ++i) panel.Post(message, i % 2 ? 41000 : 0xFFFFFFFF, i);
    if (!panel.Settle(what)) {
      // Nothing in the program's windows is set up yet: there is nothing to end for.
      if (panel.CheckCleanEnd(what)) Fail("%s: the program ended", what);
      continue;
    }
    size_t open = panel.Dialogs().size();
    if (open > 1) {
      Fail("%s: %zu dialogs open at once, one inside the other", what, open);
    } else {
      Note("ok: %s: %zu dialog(s) open", what, open);
    }
    panel.EndWithDestroy(what, kBurstMs);
  }

  // The drum counter reset request, posted to a dialog by another program, many times: at
  // most one prompt, and WM_DESTROY still ends the program with the prompt up.
  if (panel.Start()) {
    const char* what = "drum reset request from outside";
    panel.PostCode(41000, kCodesModel);
    HWND dialog = WaitForDialog(panel, title, "Paper out in the feeder.\r\n");
    if (dialog == NULL) {
      Fail("%s: no dialog to send it to", what);
    } else {
      for (int i = 0; i < kRepeats; ++i) PostMessageA(dialog, DLM_DRUM_RESET, 0, 0);
      if (panel.Settle(what)) {
        size_t prompts = 0;
        for (HWND d : panel.Dialogs()) prompts += WindowText(d) == "WARNING!";
        if (prompts > 1) {
          Fail("%s: %zu prompts open at once", what, prompts);
        } else {
          Note("ok: %s: %zu prompt(s)", what, prompts);
        }
      }
    }
    panel.EndWithDestroy(what, kBurstMs);
  }

  RemoveStatusFile(kCodesModel);
  return failures ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Malformed status message files.

const LONG kFirstFuzzModel = 9700;

std::string RandomCase(Random& random, const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z' && random.Below(2)) c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string Digits(Random& random, size_t count, const char* lead) {
  std::string digits = lead;
  while (digits.size() < count) digits += static_cast<char>('0' + random.Below(10));
  return digits;
}

// One malformed file; kind picks the way it is broken, random the details.
std::string MalformedFile(int kind, Random& random, std::string* name) {
  const std::string base = WellFormedFile();
  std::string text;
  switch (kind) {
    case 0:
      *name = "truncated";
      text = base.substr(0, random.Between(1, static_cast<uint32_t>(base.size()) - 12));
      break;
    case 1: {
      *name = "huge lines";
      size_t length = random.Between(256, 40000);
      text = "<CODE>\t41000\r\n<GROP>\t1\r\n<ICON>\t9\r\n<STAT>\t" + std::string(length, 'S') +
             "\r\n<RCVR>\t" + std::string(random.Between(200, 3000), 'R') + "\\\r\n" +
             std::string(random.Between(250, 260), 'r') + "\r\n" + base;
      break;
    }
    case 2:
      *name = "no line ends";
      text = ReplaceAll(base, "\r\n", random.Below(2) ? "" : (random.Below(2) ? "\r" : "\t"));
      break;
    case 3: {
      *name = "binary bytes";
      size_t length = random.Between(1, 16384);
      if (random.Below(2)) text = "<CODE>\t41000\r\n<GROP>\t1\r\n";
      for (size_t i = 0; i < length; ++i) text += static_cast<char>(random.Below(256));
      break;
    }
    case 4:
      *name = "NUL bytes";
      text = base;
      for (int i = 0; i < 12; ++i) text[random.Below(static_cast<uint32_t>(text.size()))] = '\0';
      text.insert(random.Below(static_cast<uint32_t>(text.size())), std::string(300, '\0'));
      break;
    case 5:
      *name = "tags in odd case and odd places";
      for (const Record& r : kRecords) {
        std::string record = RecordText(r);
        record = RandomCase(random, record);
        if (random.Below(3) == 0) record = ReplaceAll(record, "\t", " ");
        if (random.Below(3) == 0) record = "\t" + record;
        text += record;
      }
      text += RandomCase(random, "<CODE>\t0\r\n");
      break;
    case 6:
      *name = "numbers with thousands of digits";
      text = "<CODE>\t" + Digits(random, random.Between(1000, 6000), "41000") + "\r\n<GROP>\t" +
             Digits(random, 3000, "9") + "\r\n<ICON>\t" + Digits(random, 4000, "6") +
             "\r\n<STAT>\tMany digits.\r\n<RCVR>\t" + Digits(random, 700, "1") + "\r\n" +
             "<CODE>\t" + std::string(5000, '0') + "41000\r\n" + base;
      break;
    case 7: {
      *name = "icons out of range";
      const char* icons[] = {"12",         "13",         "255", "6000",
                             "99999",      "4294967295", "-1",  "18446744073709551617",
                             "2147483648", "65535",      "x",   ""};
      for (const Record& r : kRecords) {
        Record odd = r;
        std::string record = RecordText(odd);
        std::string icon = "<ICON>\t" + std::to_string(r.icon);
        record = ReplaceAll(record, icon, std::string("<ICON>\t") + icons[random.Below(12)]);
        text += record;
      }
      text += "<CODE>\t0\r\n";
      break;
    }
    case 8:
      *name = "line end oddities";
      text = ReplaceAll(base, "\r\n", random.Below(2) ? "\\\n" : "\\\r\n");
      text = ReplaceAll(text, "<STAT>", "\r\r\n\n\\\r\n\\\n<STAT>");
      text += random.Below(2) ? "\\" : "\r";
      break;
    case 9: {
      *name = "texts over their buffers";
      text = "<CODE>\t41000\r\n<GROP>\t1\r\n<ICON>\t6\r\n<STAT>\t";
      for (int i = 0; i < 40; ++i) text += std::string(random.Between(1, 60), 's') + "\\\r\n";
      text += "<RCVR>\t";
      for (int i = 0; i < 200; ++i) {
        text += std::string(random.Between(1, 300), 'r') + (random.Below(2) ? "\\\r\n" : "\r\n");
      }
      text += base;
      break;
    }
    case 10:
      *name = "random edits";
      text = base;
      for (int i = 0; i < 40; ++i) {
        uint32_t at = random.Below(static_cast<uint32_t>(text.size()));
        switch (random.Below(3)) {
          case 0:
            text[at] = static_cast<char>(random.Below(256));
            break;
          case 1:
            text.insert(at, 1, static_cast<char>(random.Below(256)));
            break;
          default:
            text.erase(at, random.Between(1, 8));
            if (text.empty()) text = "<";
            break;
        }
      }
      break;
    default: {
      *name = "records out of order, many records, no end line";
      std::vector<std::string> lines;
      for (size_t at = 0, next; at < base.size(); at = next + 2) {
        next = base.find("\r\n", at);
        if (next == std::string::npos) break;
        lines.push_back(base.substr(at, next - at + 2));
      }
      for (int i = 0; i < 400; ++i)
        text += lines[random.Below(static_cast<uint32_t>(lines.size()))];
      for (int i = 0; i < 300; ++i) {
        text += "<CODE>\t" + std::to_string(random.Between(10001, 50554)) +
                "\r\n<GROP>\t1\r\n<ICON>\t1\r\n<STAT>\tfiller\r\n<RCVR>\tfiller\r\n";
      }
      text += RecordText(kRecords[random.Below(7)]);  // runs into the end of the file
      break;
    }
  }
  return text;
}

const int kMalformedKinds = 12;

// After codes for a malformed file: still answering, texts within their buffers.
void CheckAfterCodes(Panel& panel, const std::string& what) {
  if (!panel.Settle(what.c_str())) return;
  size_t open = panel.Dialogs().size();
  if (open > 1) Fail("%s: %zu dialogs open at once", what.c_str(), open);
  for (HWND dialog : panel.Dialogs()) {
    std::string status = ControlText(dialog, kStatusTextId);
    if (status.size() > kStatusTextMax) {
      Fail("%s: status text of %zu bytes", what.c_str(), status.size());
    }
    if (GetDlgItem(dialog, kRecoveryTextId) != NULL) {
      std::string recovery = ControlText(dialog, kRecoveryTextId);
      if (recovery.size() > kRecoveryTextMax) {
        Fail("%s: recovery text of %zu bytes", what.c_str(), recovery.size());
      }
    }
  }
}

bool EnsureRunning(Panel& panel, const std::string& what) {
  if (panel.Started() && !panel.Ended()) return true;
  if (panel.Started() && !panel.CheckCleanEnd(what.c_str())) {
    // already reported
  }
  return panel.Start();
}

void PostProbes(Panel& panel, LONG model, Random& random) {
  for (DWORD code : kProbeCodes) {
    if (code == 10001) continue;  // would end the program; tried once at the end
    panel.PostCode(code, model);
  }
  for (int i = 0; i < 3; ++i) panel.PostCode(random.Between(10001, 50554), model);
}

int Files(uint32_t seed, int count) {
  NameBlock block;
  if (!block.Create(SHARED_PRINTER_NAME_SIZE, "", 1) || !block.WriteName("Fuzzed")) return 1;
  Random random(seed);
  Panel panel;
  std::vector<LONG> models;

  for (int i = 0; i < count; ++i) {
    std::string kind;
    std::string text = MalformedFile(i % kMalformedKinds, random, &kind);
    LONG model = kFirstFuzzModel + i;
    char what[128];
    snprintf(what, sizeof(what), "file %d (%s, %zu bytes, seed %u)", i, kind.c_str(), text.size(),
             seed);
    if (!WriteStatusFile(model, text)) continue;
    models.push_back(model);
    if (!EnsureRunning(panel, what)) break;
    PostProbes(panel, model, random);
    // Now and then the recovery dialog, which also shows the recovery text and the picture.
    if (i % 3 == 2) {
      panel.Settle(what);
      for (HWND dialog : panel.Dialogs()) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kRecoveryButtonId, BN_CLICKED), 0);
      }
      PostProbes(panel, model, random);
    }
    CheckAfterCodes(panel, what);
    Note("%s: %s", what, panel.Ended() ? "the program ended" : "done");
    if (panel.Ended()) panel.CheckCleanEnd(what);
  }

  // Files that cannot be read the ordinary way: empty, a lone LF, a directory, a file held
  // open by another program without sharing.
  LONG model = kFirstFuzzModel + count;
  const char* specials[] = {"empty file", "a lone LF", "a directory", "a locked file"};
  for (int special = 0; special < 4; ++special, ++model) {
    HANDLE locked = INVALID_HANDLE_VALUE;
    std::string path = StatusFilePath(model);
    models.push_back(model);
    if (special == 0) WriteStatusFile(model, "");
    if (special == 1) WriteStatusFile(model, "\n");
    if (special == 2) {
      DeleteFileA(path.c_str());
      CreateDirectoryA(path.c_str(), NULL);
    }
    if (special == 3) {
      WriteStatusFile(model, WellFormedFile());
      locked = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    }
    std::string what = std::string("special file: ") + specials[special];
    if (EnsureRunning(panel, what)) {
      PostProbes(panel, model, random);
      CheckAfterCodes(panel, what);
      if (panel.Ended()) panel.CheckCleanEnd(what.c_str());
    }
    if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
  }

  // The exit code of the last file's records, then WM_DESTROY.
  if (EnsureRunning(panel, "the end")) {
    panel.PostCode(10001, kFirstFuzzModel);
    panel.Settle("10001 at the end");
    panel.EndWithDestroy("WM_DESTROY after the malformed files");
  }
  for (LONG m : models) RemoveStatusFile(m);
  Note("%d malformed files and 4 special ones, %d program start(s)", count, panel.Starts());
  return failures ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// A burst of random codes.

const LONG kBurstModelA = 9871;
const LONG kBurstModelB = 9872;

// A second file with the same codes and other texts; neither knows 10001 or 40000, and every
// record has a group other than 0, so nothing in the burst ends the program by itself.
std::string SecondFile() {
  std::string text;
  for (const Record& r : kRecords) {
    Record other = r;
    other.status = "Other model.";
    other.icon = (r.icon + 3) % 12;
    text += RecordText(other);
  }
  return text + "<CODE>\t0\r\n";
}

int Burst(uint32_t seed, int count) {
  if (!WriteStatusFile(kBurstModelA, WellFormedFile()) ||
      !WriteStatusFile(kBurstModelB, SecondFile())) {
    return 1;
  }
  NameBlock block;
  if (!block.Create(SHARED_PRINTER_NAME_SIZE, "", 1) || !block.WriteName("Burst")) return 1;
  Panel panel;
  if (!panel.Start()) return 1;

  Random random(seed);
  const DWORD recall[] = {10001, 10003, 40000};
  DWORD start = GetTickCount();
  int unanswered = 0;
  int unposted = 0;
  size_t mostDialogs = 0;
  for (int i = 0; i < count; ++i) {
    DWORD code;
    uint32_t pick = random.Below(10);
    if (pick < 4) {
      code = kRecords[random.Below(7)].code;
    } else if (pick < 5) {
      code = recall[random.Below(3)];
    } else if (pick < 8) {
      code = random.Between(10001, 50554);
    } else {
      code = random.Next();
    }
    LPARAM model;
    pick = random.Below(20);
    if (pick < 9) {
      model = kBurstModelA;
    } else if (pick < 16) {
      model = kBurstModelB;
    } else if (pick < 18) {
      model = 99999;  // no file
    } else {
      model = static_cast<LONG>(random.Next());
    }
    if (!panel.PostCode(code, model)) ++unposted;
    if (i % 500 == 499) {
      if (panel.FindMainWindow() == NULL || !panel.Answers()) ++unanswered;
      mostDialogs = std::max(mostDialogs, panel.Dialogs().size());
    }
    if (panel.Ended()) break;
  }
  Note("%d codes posted in %lu ms", count, GetTickCount() - start);

  // The last word: a known entry, which must show once the burst has been worked through.
  panel.PostCode(40022, kBurstModelA);
  panel.PostCode(40021, kBurstModelA);
  HWND shown = NULL;
  const std::string title = std::string("Burst") + kStatusSuffix;
  while (shown == NULL && !panel.Ended() && GetTickCount() - start < kBurstMs) {
    if (panel.FindMainWindow() == NULL || !panel.Answers()) ++unanswered;
    mostDialogs = std::max(mostDialogs, panel.Dialogs().size());
    for (HWND dialog : panel.Dialogs()) {
      std::string caption = WindowText(dialog);
      if ((caption == title || caption == title + " - Recovery") &&
          ControlText(dialog, kStatusTextId) == "Front cover open.\r\n") {
        shown = dialog;
      }
    }
    if (shown == NULL) Sleep(200);
  }
  size_t dialogs = panel.Ended() ? 0 : panel.Dialogs().size();
  Note("burst worked through after %lu ms, %zu dialog(s) open", GetTickCount() - start, dialogs);
  if (unposted) Fail("%d codes could not be posted", unposted);
  if (unanswered) Fail("%d times the program did not answer during the burst", unanswered);
  if (panel.Ended()) {
    Fail("the program ended during the burst (exit code 0x%08lX)", panel.ExitCode());
  } else if (shown == NULL) {
    Fail("the last code of the burst was not shown within %lu ms", kBurstMs);
  }
  if (std::max(dialogs, mostDialogs) > 1) {
    Fail("up to %zu dialogs open at once during the burst", std::max(dialogs, mostDialogs));
  }
  DWORD elapsed = GetTickCount() - start;
  panel.EndWithDestroy("WM_DESTROY after the burst", elapsed < kBurstMs ? kBurstMs - elapsed : 1);
  Note("burst, WM_DESTROY included: %lu ms", GetTickCount() - start);
  RemoveStatusFile(kBurstModelA);
  RemoveStatusFile(kBurstModelB);
  return failures ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------

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
