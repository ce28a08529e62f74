// A test-only language monitor with the NT face and nothing behind it: it records into
// "<its own path>.log" when InitializePrintMonitor2 and Shutdown are called and when it is loaded
// and unloaded, with the calling process, so a test can see what the spooler did with it.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <stdio.h>

namespace {

HMODULE g_module;
MONITOR2 g_table;
int g_instance;  // what *phMonitor points at; only its address matters

// 'Record()' - appends one line, prefixed with the current process id, to the log.
void Record(const char* text) {
  char path[MAX_PATH + 8];
  DWORD n = GetModuleFileNameA(g_module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  lstrcatA(path, ".log");
  FILE* log = fopen(path, "a");
  if (!log) return;
  fprintf(log, "pid=%lu %s\n", GetCurrentProcessId(), text);
  fclose(log);
}

VOID WINAPI Shutdown(HANDLE monitor) {
  Record(monitor == &g_instance ? "shutdown handle=ours" : "shutdown handle=foreign");
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    Record("attach");
  } else if (reason == DLL_PROCESS_DETACH) {
    Record("detach");
  }
  return TRUE;
}

// 'InitializePrintMonitor2()' - records the MONITORINIT it got and what a registry callback
// answers, and hands back a table with only Shutdown.
extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor) {
  char line[200];
  LONG open = -1;
  if (init && init->pMonitorReg && init->pMonitorReg->fpOpenKey) {
    HANDLE key = NULL;
    open = init->pMonitorReg->fpOpenKey(init->hckRegistryRoot, L"Settings", KEY_READ, &key,
                                        init->hSpooler);
    if (open == ERROR_SUCCESS) init->pMonitorReg->fpCloseKey(key, init->hSpooler);
  }
  wsprintfA(line, "init cbSize=%lu local=%d reg.cbSize=%lu reg.OpenKey=%ld",
            init ? init->cbSize : 0, init ? init->bLocal : -1,
            init && init->pMonitorReg ? init->pMonitorReg->cbSize : 0, open);
  Record(line);
  ZeroMemory(&g_table, sizeof g_table);
  g_table.cbSize = sizeof g_table;
  g_table.pfnShutdown = Shutdown;
  *monitor = &g_instance;
  return &g_table;
}
