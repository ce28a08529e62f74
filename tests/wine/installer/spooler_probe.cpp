// What the installer's Wine test asks the system directly, beside qvlinst:
//   spooler_probe listed              exit 0 when EnumMonitorsW lists "QVL Language Monitor"
//                                     (prints its environment and DLL), 1 when not
//   spooler_probe ports               EnumPortsW: Wine's spooler takes every registered monitor
//                                     into service in this process and lets it go again
//   spooler_probe hold FILE MS        opens FILE with no sharing, prints "held", keeps it MS ms
//   spooler_probe exports DLL NAME    exit 0 when DLL exports NAME (loaded as data only)
#include <windows.h>
#include <winspool.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

int Listed() {
  DWORD needed = 0;
  DWORD count = 0;
  EnumMonitorsW(NULL, 2, NULL, 0, &needed, &count);
  BYTE* buffer = static_cast<BYTE*>(malloc(needed + 1));
  if (!buffer || !EnumMonitorsW(NULL, 2, buffer, needed, &needed, &count)) {
    printf("EnumMonitorsW failed with %lu\n", GetLastError());
    return 2;
  }
  const MONITOR_INFO_2W* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(buffer);
  int result = 1;
  for (DWORD i = 0; i < count; i++) {
    if (wcscmp(monitors[i].pName, L"QVL Language Monitor") != 0) continue;
    printf("listed: %ls, %ls\n", monitors[i].pEnvironment ? monitors[i].pEnvironment : L"(none)",
           monitors[i].pDLLName ? monitors[i].pDLLName : L"(none)");
    result = 0;
  }
  if (result) printf("not listed (%lu monitors)\n", count);
  free(buffer);
  return result;
}

int Ports() {
  DWORD needed = 0;
  DWORD count = 0;
  SetLastError(0xDEADBEEF);
  BOOL ok = EnumPortsW(NULL, 1, NULL, 0, &needed, &count);
  printf("EnumPortsW: %d, error %lu, %lu bytes; qvllink.dll %s in this process afterwards\n", ok,
         GetLastError(), needed, GetModuleHandleA("qvllink.dll") ? "still loaded" : "not loaded");
  return 0;
}

int Hold(const char* path, DWORD ms) {
  HANDLE file = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    printf("CreateFileA(%s) failed with %lu\n", path, GetLastError());
    return 2;
  }
  printf("held\n");
  fflush(stdout);
  Sleep(ms);
  CloseHandle(file);
  return 0;
}

int Exports(const char* dll, const char* name) {
  HMODULE module = LoadLibraryExA(dll, NULL, DONT_RESOLVE_DLL_REFERENCES);
  if (!module) {
    printf("LoadLibraryExA(%s) failed with %lu\n", dll, GetLastError());
    return 2;
  }
  bool found = GetProcAddress(module, name) != NULL;
  printf("%s %s %s\n", dll, found ? "exports" : "does not export", name);
  FreeLibrary(module);
  return found ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "listed") == 0) return Listed();
  if (argc == 2 && strcmp(argv[1], "ports") == 0) return Ports();
  if (argc == 4 && strcmp(argv[1], "hold") == 0) return Hold(argv[2], atoi(argv[3]));
  if (argc == 4 && strcmp(argv[1], "exports") == 0) return Exports(argv[2], argv[3]);
  fprintf(stderr, "usage: spooler_probe listed | ports | hold FILE MS | exports DLL NAME\n");
  return 2;
}
