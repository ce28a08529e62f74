// qvlinst: what its files share. The names the monitor is registered under, the exit codes, and
// the system as the installer finds it (which family, which folders, which spooler functions).
#pragma once

#include <windows.h>

// Exit codes; installer/README.md explains each.
enum ExitCode {
  kExitOk = 0,
  kExitIncomplete = 1,        // status: not (fully) installed
  kExitUsage = 2,             // the command line is not understood
  kExitNoRights = 3,          // access denied: an administrator is needed
  kExitFilesInUse = 4,        // a file to replace or remove is in use
  kExitAlreadyInstalled = 5,  // install: the monitor is registered already
  kExitNotInstalled = 6,      // uninstall: the monitor is not registered
  kExitSourceMissing = 7,     // install: a file to copy is not in the source folder
  kExitWrongBuild = 8,        // this build cannot install onto this system
  kExitSystemError = 9,       // another failure of a system call (named in the message)
  kExitRestartNeeded = 10,    // done, but Windows (or its spooler) must restart to finish
  kExitMonitorInUse = 11,     // uninstall: a printer driver still uses the monitor
  kExitRemovalPending = 12,   // install: files of the product wait for removal at restart
  kExitOtherInstall = 13,     // install: the other kind (full or client) is installed already
};

#define QVL_MONITOR_NAME "QVL Language Monitor"
#define QVL_MONITOR_DLL "qvllink.dll"
#define QVL_DISPLAY_EXE "qvlpanel.exe"
#define QVL_SIGNIN_VALUE "QVL Status Display"
#define QVL_SIGNIN_SWITCH "/signin"
#define QVL_RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define QVL_MONITORS_KEY "System\\CurrentControlSet\\Control\\Print\\Monitors"
// Where NT keeps the file operations MoveFileEx(..., MOVEFILE_DELAY_UNTIL_REBOOT) scheduled.
#define QVL_SESSION_MANAGER_KEY "System\\CurrentControlSet\\Control\\Session Manager"
// The Windows 95 generation's environment name, passed to AddMonitorA there.
#define QVL_WIN95_ENVIRONMENT "Windows 4.0"

// Spooler functions, found in winspool.drv at run time (each may be missing: NULL).
typedef BOOL(WINAPI* AddMonitorWFn)(LPWSTR, DWORD, LPBYTE);
typedef BOOL(WINAPI* DeleteMonitorWFn)(LPWSTR, LPWSTR, LPWSTR);
typedef BOOL(WINAPI* EnumMonitorsWFn)(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
typedef BOOL(WINAPI* AddMonitorAFn)(LPSTR, DWORD, LPBYTE);
typedef BOOL(WINAPI* DeleteMonitorAFn)(LPSTR, LPSTR, LPSTR);
typedef BOOL(WINAPI* MoveFileExWFn)(LPCWSTR, LPCWSTR, DWORD);

// The system the installer runs on. Functions only the NT family has are found at run time, so
// that the 32-bit program still loads on Windows 95.
struct System {
  bool nt;                          // VER_PLATFORM_WIN32_NT
  char systemDir[MAX_PATH];         // GetSystemDirectoryA, no trailing backslash
  const wchar_t* ntEnvironment;     // the environment AddMonitorW is given on NT
  AddMonitorWFn addMonitorW;        // NT
  DeleteMonitorWFn deleteMonitorW;  // NT
  EnumMonitorsWFn enumMonitorsW;    // NT
  AddMonitorAFn addMonitorA;        // both families; may be missing on Windows 95
  DeleteMonitorAFn deleteMonitorA;  // as AddMonitorA
  MoveFileExWFn moveFileExW;        // NT
};

// system.cpp
// 'LoadSystem()' - fills *sys; kExitOk, or the exit code after a message saying why not.
int LoadSystem(System* sys);
// 'CheckBuild()' - kExitOk when this build's spooler bitness is the system's, or kExitWrongBuild
// after a message (the 32-bit build under WOW64, a build for another processor).
int CheckBuild(const System& sys);

// report.cpp
// 'ExitCodeFor()' - the exit code a Windows error stands for (access denied, in use, ...), or
// `otherwise` for any error without one of its own.
int ExitCodeFor(DWORD error, int otherwise);
// 'ReportFailure()' - prints "qvlinst: WHAT failed: <Windows text> (error N)" to stderr and
// returns ExitCodeFor(error, kExitSystemError).
int ReportFailure(const char* what, DWORD error);
// 'Advise()' - prints what the user can do about an exit code, if there is something to say.
void Advise(int code);
// 'JoinPath()' - dir + "\\" + name into out (MAX_PATH bytes); false when it does not fit.
bool JoinPath(char* out, const char* dir, const char* name);
// 'Narrow()' - a wide text as ANSI for messages, cut to size bytes.
void Narrow(const wchar_t* text, char* out, int size);

// files.cpp: the product's files, qvllink.dll, qvlpanel.exe and the status message files
// (qvl<digits>, no extension).
const int kMaxFiles = 64;
struct FileList {
  int count;
  char names[kMaxFiles][16];  // file names only; every name the product uses is short
};
// 'IsStatusFileName()' - "qvl" and one to eight digits, nothing else.
bool IsStatusFileName(const char* name);
// 'ListProductFiles()' - the product's files in dir. With `required`, a missing DLL or program,
// or no status message file, is reported (kExitSourceMissing); otherwise only present files
// are listed. With `client`, the DLL is left out: neither listed nor required.
int ListProductFiles(const char* dir, bool required, bool client, FileList* files);
// 'CopyProductFiles()' - copies the files from `from` into `to`; on a failure, the ones already
// copied are removed again and the failure's exit code returned.
int CopyProductFiles(const FileList& files, const char* from, const char* to);
// 'DeleteProductFiles()' - deletes the files from dir. A file in use is scheduled for removal at
// restart on NT (*pending set), reported on Windows 95. Returns the first failure's exit code.
int DeleteProductFiles(const System& sys, const FileList& files, const char* dir, bool* pending);
// 'FindPendingRemovals()' - NT: the product's files in dir (the system directory) that an
// earlier uninstall scheduled for removal at restart, named into *files. kExitOk, or the exit
// code of a failure to read the schedule.
int FindPendingRemovals(const System& sys, const char* dir, FileList* files);
// 'RefuseWhilePending()' - kExitOk when no file of the product in the system directory waits
// for removal at restart; otherwise names them and returns kExitRemovalPending.
int RefuseWhilePending(const System& sys);

// registration.cpp: the monitor's registration with the spooler and the display program's
// sign-in start.
// 'FindMonitor()' - *registered, and the DLL (and, on NT, the environment) it is registered
// with (each MAX_PATH bytes, may be NULL).
int FindMonitor(const System& sys, bool* registered, char* dll, char* environment);
// 'RegisterMonitor()' - AddMonitorW on NT; AddMonitorA or the Monitors key on Windows 95 (then
// *restart: the spooler must restart to load it).
int RegisterMonitor(const System& sys, bool* restart);
// 'UnregisterMonitor()' - DeleteMonitorW on NT; DeleteMonitorA or the key on Windows 95.
int UnregisterMonitor(const System& sys, bool* restart);
// 'SignInCommand()' - the Run value's data: "<system directory>\qvlpanel.exe" /signin.
bool SignInCommand(const System& sys, char* out, DWORD size);
// 'SetSignInStart()', 'RemoveSignInStart()' - the Run value under HKLM (*removed: it was there).
int SetSignInStart(const System& sys);
int RemoveSignInStart(bool* removed);
// 'QuerySignInStart()' - the Run value's data into out (empty when there is none).
int QuerySignInStart(char* out, DWORD size);

// survey.cpp: what of the product this system has, for status and for choosing what install
// and uninstall do.
struct Installed {
  FileList files;                      // the product's files in the system directory
  bool monitorDll;                     // qvllink.dll among them
  bool display;                        // qvlpanel.exe among them
  int statusFiles;                     // status message files among them
  bool registered;                     // the monitor is registered with the spooler
  char registeredDll[MAX_PATH];        // ... with this DLL
  char environment[MAX_PATH];          // ... for this environment
  char signIn[MAX_PATH + 32];          // NT: the Run value's data, empty when there is none
  char expectedSignIn[MAX_PATH + 32];  // the data install writes there
};
// 'FindInstalled()' - fills *found; kExitOk, or the exit code of a failure to look.
int FindInstalled(const System& sys, Installed* found);
// 'IsClientInstall()' - NT: the sign-in start without the monitor or its DLL, which is what a
// client install leaves (and a full install never does).
bool IsClientInstall(const System& sys, const Installed& found);

// printer_address.cpp
// 'PrinterAddress()' - a network port's IPP address: shown (uri NULL), set, or "--default".
int PrinterAddress(const System& sys, const char* port, const char* uri);
// 'RemovePrinterAddresses()' - every port's address, before the monitor's key goes.
void RemovePrinterAddresses();

// commands.cpp
int Install(const System& sys, const char* from);
// client_install.cpp: qvlpanel.exe, the status message files and the sign-in start only, for a
// machine that prints to a print server (NT family).
int InstallClient(const System& sys, const char* from);
int Uninstall(const System& sys);
int Status(const System& sys);
