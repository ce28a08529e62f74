#include "monitor_start.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "monitor_registry.h"
#include "printers.h"
#include "timeline.h"
#include "wide_text.h"
#include "winspool/spooler_client.h"

namespace {

typedef BOOL(WINAPI* InitializeMonitorExFn)(LPSTR registryRoot, MONITOR* table);
typedef LPMONITOR2(WINAPI* InitializePrintMonitor2Fn)(PMONITORINIT init, PHANDLE monitor);

std::string DefaultDll() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
  std::string dir(path, n);
  size_t slash = dir.find_last_of("\\/");
  dir.erase(slash == std::string::npos ? 0 : slash + 1);
  return dir + "qvllink.dll";
}

// Loads the monitor DLL and connects our winspool.drv to the printers; returns the entry named
// entry (the entry of the spooler generation named spooler), or NULL (reported).
FARPROC LoadMonitor(const SpoolOptions& o, const char* entry, const char* spooler,
                    std::string* dll) {
  *dll = o.dll.empty() ? DefaultDll() : o.dll;
  HMODULE module = LoadLibraryA(dll->c_str());
  if (!module) {
    fprintf(stderr, "qvlspool: cannot load %s (error %lu)\n", dll->c_str(), GetLastError());
    return NULL;
  }
  FARPROC init = GetProcAddress(module, entry);
  if (!init) {
    fprintf(stderr, "qvlspool: %s exports no %s: it is no monitor for %s\n", dll->c_str(), entry,
            spooler);
    return NULL;
  }
  // The monitor's printer calls must reach our printers: our winspool.drv has to be the one
  // loaded (Wine: WINEDLLOVERRIDES="winspool.drv=n" and the DLL beside qvlspool.exe).
  HMODULE spool = GetModuleHandleA("winspool.drv");
  if (!spool) spool = LoadLibraryA("winspool.drv");
  SpoolerConnectFn connect = spool ? reinterpret_cast<SpoolerConnectFn>(reinterpret_cast<void*>(
                                         GetProcAddress(spool, SPOOLER_CONNECT_EXPORT)))
                                   : NULL;
  if (!connect) {
    fprintf(stderr,
            "qvlspool: the winspool.drv loaded is not ours: put qvlspool's winspool.drv beside "
            "qvlspool.exe (under Wine also set WINEDLLOVERRIDES=\"winspool.drv=n\")\n");
    return NULL;
  }
  connect(PrinterClientOps());
  return init;
}

// The MONITOR2 members in order, by name, for the record of what the monitor filled.
struct Member {
  const char* name;
  size_t offset;
};
#define MEMBER(m) \
  { #m + 3, offsetof(MONITOR2, m) }
const Member Members[] = {
    MEMBER(pfnEnumPorts),
    MEMBER(pfnOpenPort),
    MEMBER(pfnOpenPortEx),
    MEMBER(pfnStartDocPort),
    MEMBER(pfnWritePort),
    MEMBER(pfnReadPort),
    MEMBER(pfnEndDocPort),
    MEMBER(pfnClosePort),
    MEMBER(pfnAddPort),
    MEMBER(pfnAddPortEx),
    MEMBER(pfnConfigurePort),
    MEMBER(pfnDeletePort),
    MEMBER(pfnGetPrinterDataFromPort),
    MEMBER(pfnSetPortTimeOuts),
    MEMBER(pfnXcvOpenPort),
    MEMBER(pfnXcvDataPort),
    MEMBER(pfnXcvClosePort),
    MEMBER(pfnShutdown),
    MEMBER(pfnSendRecvBidiDataFromPort),
    MEMBER(pfnNotifyUsedPorts),
    MEMBER(pfnNotifyUnusedPorts),
};
#undef MEMBER

// The names of the members within the table's cbSize that are not NULL, joined with ",".
std::string FilledMembers(const MONITOR2* table) {
  std::string names;
  for (const Member& m : Members) {
    if (m.offset + sizeof(void*) > table->cbSize) break;
    void* slot;
    memcpy(&slot, reinterpret_cast<const char*>(table) + m.offset, sizeof slot);
    if (!slot) continue;
    if (!names.empty()) names.push_back(',');
    names.append(m.name);
  }
  return names;
}

}  // namespace

bool StartWin95Monitor(const SpoolOptions& o, MONITOR* table) {
  std::string dll;
  InitializeMonitorExFn init = reinterpret_cast<InitializeMonitorExFn>(reinterpret_cast<void*>(
      LoadMonitor(o, "InitializeMonitorEx", "the Windows 95 spooler", &dll)));
  if (!init) return false;
  // The monitor only opens its key; a spooler creates it when the monitor is installed.
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, o.registryRoot.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                      &key, NULL) == ERROR_SUCCESS) {
    RegCloseKey(key);
  }
  memset(table, 0, sizeof *table);
  std::string root = o.registryRoot;
  BOOL ok = init(&root[0], table);
  TimelineRecord r;
  RecordBegin(&r, "op");
  RecordString(&r, "op", "InitializeMonitorEx");
  RecordString(&r, "dll", dll.c_str());
  RecordString(&r, "root", root.c_str());
  RecordNumber(&r, "result", ok);
  RecordEnd(&r);
  if (!ok || !table->pfnOpenPortEx || !table->pfnStartDocPort || !table->pfnWritePort ||
      !table->pfnEndDocPort || !table->pfnClosePort) {
    fprintf(stderr, "qvlspool: %s did not fill the monitor table\n", dll.c_str());
    return false;
  }
  return true;
}

bool StartNtMonitor(const SpoolOptions& o, MONITOR2** table, HANDLE* monitor) {
  std::string dll;
  InitializePrintMonitor2Fn init =
      reinterpret_cast<InitializePrintMonitor2Fn>(reinterpret_cast<void*>(
          LoadMonitor(o, "InitializePrintMonitor2", "the NT-family spooler (--nt)", &dll)));
  if (!init) return false;
  if (!MonitorRegistryStart(o.registryRoot, o.failRegistry)) return false;
  MONITORINIT mi = {};
  mi.cbSize = sizeof mi;
  mi.hSpooler = MonitorRegistrySpooler();
  mi.hckRegistryRoot = static_cast<HKEYMONITOR>(MonitorRegistryRoot());
  mi.pMonitorReg = MonitorRegistryCallbacks();
  // A clustered spooler names the virtual server whose printers it holds.
  static std::wstring server;
  server = WideText(o.cluster.c_str(), CP_UTF8);
  mi.bLocal = o.cluster.empty();
  mi.pszServerName = o.cluster.empty() ? NULL : &server[0];
  if (!o.cluster.empty()) PrintersOfServer(o.cluster.c_str());
  *monitor = NULL;
  SetLastError(0);
  *table = init(&mi, monitor);
  DWORD error = GetLastError();
  TimelineRecord r;
  RecordBegin(&r, "op");
  RecordString(&r, "op", "InitializePrintMonitor2");
  RecordString(&r, "dll", dll.c_str());
  RecordString(&r, "root", o.registryRoot.c_str());
  if (*table) {
    RecordNumber(&r, "size", (*table)->cbSize);
    RecordString(&r, "members", FilledMembers(*table).c_str());
  }
  RecordNumber(&r, "result", *table != NULL);
  if (!*table) RecordNumber(&r, "error", error);
  RecordEnd(&r);
  const MONITOR2* t = *table;
  if (!t || t->cbSize < MONITOR2_SIZE_WIN2K || !t->pfnOpenPortEx || !t->pfnStartDocPort ||
      !t->pfnWritePort || !t->pfnEndDocPort || !t->pfnClosePort) {
    fprintf(stderr, "qvlspool: %s gave no usable monitor table (error %lu)\n", dll.c_str(),
            static_cast<unsigned long>(error));
    return false;
  }
  return true;
}
