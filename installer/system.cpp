// What qvlinst finds out about the system: which family of Windows, the system directory, the
// spooler functions it offers, and whether this build suits it. Everything only the NT family
// has is found with GetProcAddress, so the 32-bit program still loads on Windows 95.
#include <stdio.h>

#include "installer.h"

namespace {

#if defined(__x86_64__)
const USHORT kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
const wchar_t kOwnEnvironment[] = L"Windows x64";
const char kOwnBuild[] = "64-bit (x86_64)";
#else
const USHORT kOwnMachine = IMAGE_FILE_MACHINE_I386;
const wchar_t kOwnEnvironment[] = L"Windows NT x86";
const char kOwnBuild[] = "32-bit (i686)";
#endif

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);
typedef BOOL(WINAPI* IsWow64Process2Fn)(HANDLE, USHORT*, USHORT*);

// 'Find()' - an exported function of module by name, NULL when the module or function is missing.
template <typename Fn>
Fn Find(HMODULE module, const char* name) {
  if (!module) return NULL;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// 'MachineName()' - a processor as users know it.
const char* MachineName(USHORT machine) {
  switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
      return "32-bit x86";
    case IMAGE_FILE_MACHINE_AMD64:
      return "64-bit x64";
    case IMAGE_FILE_MACHINE_ARM64:
      return "ARM64";
    default:
      return "another processor";
  }
}

}  // namespace

int LoadSystem(System* sys) {
  ZeroMemory(sys, sizeof *sys);
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return ReportFailure("GetVersionExA", GetLastError());
  sys->nt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  sys->ntEnvironment = kOwnEnvironment;

  UINT length = GetSystemDirectoryA(sys->systemDir, sizeof sys->systemDir);
  if (length == 0 || length >= sizeof sys->systemDir) {
    return ReportFailure("GetSystemDirectoryA", length ? ERROR_BUFFER_OVERFLOW : GetLastError());
  }
  if (sys->systemDir[length - 1] == '\\') sys->systemDir[length - 1] = '\0';

  // The spooler's client DLL: missing or without a function means "not offered here".
  HMODULE spooler = LoadLibraryA("winspool.drv");
  sys->addMonitorA = Find<AddMonitorAFn>(spooler, "AddMonitorA");
  sys->deleteMonitorA = Find<DeleteMonitorAFn>(spooler, "DeleteMonitorA");
  if (sys->nt) {
    sys->addMonitorW = Find<AddMonitorWFn>(spooler, "AddMonitorW");
    sys->deleteMonitorW = Find<DeleteMonitorWFn>(spooler, "DeleteMonitorW");
    sys->enumMonitorsW = Find<EnumMonitorsWFn>(spooler, "EnumMonitorsW");
    sys->moveFileExW = Find<MoveFileExWFn>(GetModuleHandleA("kernel32.dll"), "MoveFileExW");
    if (!sys->addMonitorW || !sys->deleteMonitorW || !sys->enumMonitorsW) {
      fprintf(stderr,
              "qvlinst: winspool.drv offers no AddMonitorW, DeleteMonitorW or "
              "EnumMonitorsW: the print spooler's client is missing or damaged\n");
      return kExitSystemError;
    }
  }
  return kExitOk;
}

int CheckBuild(const System& sys) {
  if (!sys.nt) {
    // The Windows 95 generation is 32-bit only, and only the 32-bit build loads there.
    return kExitOk;
  }
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  USHORT process = IMAGE_FILE_MACHINE_UNKNOWN;
  USHORT native = IMAGE_FILE_MACHINE_UNKNOWN;
  IsWow64Process2Fn wow2 = Find<IsWow64Process2Fn>(kernel, "IsWow64Process2");
  if (wow2 && wow2(GetCurrentProcess(), &process, &native)) {
    // Windows 10 and later: the processor the system itself (and its spooler) runs on.
    if (native == kOwnMachine) return kExitOk;
  } else {
    IsWow64ProcessFn wow = Find<IsWow64ProcessFn>(kernel, "IsWow64Process");
    BOOL underWow64 = FALSE;
    if (!wow || !wow(GetCurrentProcess(), &underWow64) || !underWow64) return kExitOk;
    native = IMAGE_FILE_MACHINE_AMD64;  // before Windows 10, WOW64 means x64 (or Itanium) Windows
  }
  fprintf(stderr,
          "qvlinst: this is the %s build, and this Windows runs on %s: its print spooler "
          "loads only monitors built for %s\n",
          kOwnBuild, MachineName(native), MachineName(native));
  if (kOwnMachine == IMAGE_FILE_MACHINE_I386) {
    fprintf(stderr,
            "qvlinst: (and a 32-bit program sees SysWOW64 in place of the system "
            "directory there)\n");
  }
  return kExitWrongBuild;
}
