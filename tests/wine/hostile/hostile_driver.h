// What the hostile driver's scenarios share (hostile_driver.cpp): reporting, the program's
// process and windows, the printer name block, status message files, and the scenarios' entry
// points, one file each.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "display_link.h"
#include "resource_ids.h"

const DWORD kStartMs = 10000;  // program start until its window exists
const DWORD kAnswerMs = 5000;  // a WM_NULL must be answered within this
const DWORD kEndMs = 10000;    // WM_DESTROY until the process is gone
const DWORD kBurstMs = 60000;  // a whole burst, WM_DESTROY included
const DWORD kStepMs = 20;

const char kStatusSuffix[] = " - Status Display";

// Failed checks so far; a scenario returns 1 when there are any.
extern int failures;

void Fail(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
void Note(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

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

// ---------------------------------------------------------------------------------------------
// Status message files.

// The status message file of a model, named the way the program names it.
std::string StatusFilePath(LONG model);
bool WriteStatusFile(LONG model, const std::string& bytes);
void RemoveStatusFile(LONG model);

// A well-formed status message file to start from: its records, one record's text, the file.
struct Record {
  DWORD code;
  int group;
  int icon;
  const char* status;
  const char* recovery;
};
extern const Record kRecords[7];
std::string RecordText(const Record& r);
std::string WellFormedFile();

// The codes that the files above know, and a few that they do not.
extern const DWORD kProbeCodes[10];

// ---------------------------------------------------------------------------------------------
// Windows of the program.

std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);
// Bytes as text, with \xNN for those that are not printable.
std::string Printable(const std::string& bytes);

// One running qvlpanel, started from the system directory.
class Panel {
 public:
  ~Panel() { Kill(); }

  bool Start();

  // The program's main window, among other windows of the same class and title.
  HWND FindMainWindow() const;

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

  bool Post(UINT message, WPARAM wParam, LPARAM lParam);
  bool PostCode(WPARAM code, LPARAM model) { return Post(DLM_STATUS_CODE, code, model); }

  // The program takes a sent message within kAnswerMs, whether a dialog is open or not.
  bool Answers() const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerMs, &result) != 0;
  }

  // Lets the program work through what was posted: it goes idle and answers again.
  bool Settle(const char* what);

  std::vector<HWND> Dialogs() const;

  // The program ended by itself: that must have been a clean end. Returns true when so.
  bool CheckCleanEnd(const char* what);

  // Posts WM_DESTROY as the monitor does and expects the program gone within timeoutMs, with
  // exit code 0 and its window gone.
  bool EndWithDestroy(const char* what, DWORD timeoutMs = kEndMs);

  void Kill();

 private:
  void Release();

  PROCESS_INFORMATION process_ = {};
  HWND window_ = NULL;
  int starts_ = 0;
};

// Waits until the program shows a dialog whose title is title and whose status text is text.
HWND WaitForDialog(Panel& panel, const std::string& title, const std::string& text,
                   DWORD timeoutMs = kAnswerMs);

// The named block the monitor writes the printer name into, created by this process in any
// shape it likes.
class NameBlock {
 public:
  ~NameBlock() { Close(); }

  bool Create(DWORD size, const void* bytes, DWORD count);
  bool Write(const void* bytes, DWORD count);
  bool WriteName(const char* name);
  // An object of another kind under the block's name.
  bool CreateImpostor();
  void Close();

 private:
  HANDLE handle_ = NULL;
};

// ---------------------------------------------------------------------------------------------
// The scenarios (see hostile_driver.cpp); each returns the driver's exit status.

int Crash();                          // hostile_selfcheck.cpp
int SelfCheck(const char* self);      // hostile_selfcheck.cpp
int Names();                          // hostile_names.cpp
int Codes();                          // hostile_codes.cpp
int Files(uint32_t seed, int count);  // hostile_files.cpp
int Burst(uint32_t seed, int count);  // hostile_burst.cpp
