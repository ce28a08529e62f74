// The store's spoolers, printers, connections and printer data (printer_store.h).
#include "printer_store.h"

#include <winspool.h>
#include <stdio.h>
#include <wchar.h>

#include "store_keys.h"

namespace {

const WCHAR ROOT[] = L"SOFTWARE\\QVL Stand-in\\Spooler";
const WCHAR MUTEX_NAME[] = L"QVL Stand-in Spooler Store";

PVOID volatile Mutex = NULL;

HANDLE StoreMutex() {
  if (Mutex == NULL) {
    HANDLE made = CreateMutexW(NULL, FALSE, MUTEX_NAME);
    if (InterlockedCompareExchangePointer(&Mutex, made, NULL) != NULL) CloseHandle(made);
  }
  return Mutex;
}

bool ProcessStart(DWORD pid, FILETIME* start) {
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
  if (h == NULL) return false;
  FILETIME created, ended, kernel, user;
  bool ok = WaitForSingleObject(h, 0) == WAIT_TIMEOUT &&
            GetProcessTimes(h, &created, &ended, &kernel, &user);
  CloseHandle(h);
  if (ok) *start = created;
  return ok;
}

bool ReadProcess(HKEY key, const WCHAR* value, StoreProcess* p) {
  DWORD type = 0, size = sizeof *p;
  return RegQueryValueExW(key, value, NULL, &type, reinterpret_cast<BYTE*>(p), &size) ==
             ERROR_SUCCESS &&
         type == REG_BINARY && size == sizeof *p;
}

void WriteProcess(HKEY key, const WCHAR* value, const StoreProcess& p) {
  RegSetValueExW(key, value, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&p), sizeof p);
}

void WriteDword(HKEY key, const WCHAR* value, DWORD v) {
  RegSetValueExW(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

bool SameProcess(const StoreProcess& a, const StoreProcess& b) {
  return a.pid == b.pid && CompareFileTime(&a.start, &b.start) == 0;
}

// The connection's printer (REG_SZ data of the value named as the connection), into printer.
bool ConnectionPrinter(HKEY connections, const WCHAR* connection, WCHAR* printer) {
  DWORD type = 0, size = STORE_NAME_ROOM * sizeof(WCHAR);
  if (RegQueryValueExW(connections, connection, NULL, &type, reinterpret_cast<BYTE*>(printer),
                       &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  printer[STORE_NAME_ROOM - 1] = 0;
  return true;
}

// Connections to from: dropped (to NULL) or turned to printer to.
void RetargetConnections(const WCHAR* from, const WCHAR* to) {
  HKEY connections = StoreKey(L"Connections", false);
  if (connections == NULL) return;
  WCHAR names[STORE_MAX_PRINTERS][STORE_NAME_ROOM];
  DWORD count = 0;
  for (DWORD i = 0; count < STORE_MAX_PRINTERS; ++i) {
    DWORD room = STORE_NAME_ROOM;
    WCHAR printer[STORE_NAME_ROOM];
    if (RegEnumValueW(connections, i, names[count], &room, NULL, NULL, NULL, NULL) !=
        ERROR_SUCCESS) {
      break;
    }
    if (ConnectionPrinter(connections, names[count], printer) && lstrcmpiW(printer, from) == 0)
      ++count;
  }
  for (DWORD i = 0; i < count; ++i) {
    if (to == NULL) {
      RegDeleteValueW(connections, names[i]);
    } else {
      RegSetValueExW(connections, names[i], 0, REG_SZ, reinterpret_cast<const BYTE*>(to),
                     (lstrlenW(to) + 1) * sizeof(WCHAR));
    }
  }
  RegCloseKey(connections);
}

// "\\server" of a connection "\\server\printer".
void ServerOf(const WCHAR* connection, WCHAR* server) {
  int i = 0;
  for (; connection[i] && i < static_cast<int>(STORE_NAME_ROOM) - 1; ++i) {
    if (i >= 2 && connection[i] == L'\\') break;
    server[i] = connection[i];
  }
  server[i] = 0;
}

// The printer's entry for EnumPrintersW when it is served now (own: by this process).
uint32_t PrinterDenied(const WCHAR* printer) {
  HKEY key = StoreKey(PrinterPath(printer), false);
  const uint32_t denied = key ? StoreDword(key, L"Denied", 0) : 0;
  if (key) RegCloseKey(key);
  return denied;
}

bool ListedPrinter(const WCHAR* printer, bool own, StoreListed* e) {
  HKEY key = StoreKey(PrinterPath(printer), false);
  if (key == NULL) return false;
  StoreProcess owner;
  bool served = StorePrinterServed(key, &owner) && (!own || SameProcess(owner, StoreSelf()));
  if (served) {
    e->status = StoreDword(key, L"Status", 0);
    e->jobs = 0;
    HKEY jobs = NULL;
    if (RegOpenKeyExW(key, L"Jobs", 0, KEY_READ | STORE_VIEW, &jobs) == ERROR_SUCCESS) {
      RegQueryInfoKeyW(jobs, NULL, NULL, NULL, &e->jobs, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
      RegCloseKey(jobs);
    }
  }
  RegCloseKey(key);
  return served;
}

}  // namespace

void StoreEnter() {
  WaitForSingleObject(StoreMutex(), INFINITE);  // abandoned by a killed qvlspool: ours now
}

void StoreLeave() {
  ReleaseMutex(StoreMutex());
}

HKEY StoreKey(const std::wstring& path, bool create) {
  std::wstring full = ROOT;
  if (!path.empty()) full += L"\\" + path;
  HKEY key = NULL;
  LONG r = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, full.c_str(), 0, NULL, 0,
                                    KEY_ALL_ACCESS | STORE_VIEW, NULL, &key, NULL)
                  : RegOpenKeyExW(HKEY_LOCAL_MACHINE, full.c_str(), 0, KEY_ALL_ACCESS | STORE_VIEW,
                                  &key);
  return r == ERROR_SUCCESS ? key : NULL;
}

std::wstring PrinterPath(const WCHAR* printer, const WCHAR* sub) {
  std::wstring path = L"Printers\\";
  path += printer;
  if (sub[0]) path += std::wstring(L"\\") + sub;
  return path;
}

bool StoreProcessAlive(const StoreProcess& p) {
  StoreProcess now = {p.pid, {0, 0}};
  return ProcessStart(p.pid, &now.start) && SameProcess(now, p);
}

StoreProcess StoreSelf() {
  StoreProcess self = {GetCurrentProcessId(), {0, 0}};
  FILETIME ended, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &self.start, &ended, &kernel, &user);
  return self;
}

bool StorePrinterServed(HKEY printerKey, StoreProcess* owner) {
  StoreProcess p;
  if (!ReadProcess(printerKey, L"Spooler", &p) || !StoreProcessAlive(p)) return false;
  if (owner) *owner = p;
  return true;
}

DWORD StoreDword(HKEY key, const WCHAR* value, DWORD fallback) {
  DWORD v = 0, type = 0, size = sizeof v;
  if (RegQueryValueExW(key, value, NULL, &type, reinterpret_cast<BYTE*>(&v), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD) {
    return fallback;
  }
  return v;
}

bool StoreSpoolerStart() {
  StoreEnter();
  HKEY spoolers = StoreKey(L"Spoolers", true);
  if (spoolers) {
    // Those killed before they could take themselves off go now.
    WCHAR gone[STORE_MAX_PRINTERS][16];
    DWORD count = 0;
    for (DWORD i = 0; count < STORE_MAX_PRINTERS; ++i) {
      DWORD room = 16, type = 0, size = sizeof(StoreProcess);
      StoreProcess p;
      if (RegEnumValueW(spoolers, i, gone[count], &room, NULL, &type, reinterpret_cast<BYTE*>(&p),
                        &size) != ERROR_SUCCESS) {
        break;
      }
      if (type != REG_BINARY || size != sizeof p || !StoreProcessAlive(p)) ++count;
    }
    for (DWORD i = 0; i < count; ++i) RegDeleteValueW(spoolers, gone[i]);
    WCHAR name[16];
    swprintf(name, 16, L"%lu", GetCurrentProcessId());
    WriteProcess(spoolers, name, StoreSelf());
    RegCloseKey(spoolers);
  }
  StoreLeave();
  return spoolers != NULL;
}

void StoreSpoolerEnd() {
  const StoreProcess self = StoreSelf();
  StoreEnter();
  WCHAR printers[STORE_MAX_PRINTERS][STORE_NAME_ROOM];
  DWORD count = 0;
  HKEY all = StoreKey(L"Printers", false);
  for (DWORD i = 0; all && count < STORE_MAX_PRINTERS; ++i) {
    DWORD room = STORE_NAME_ROOM;
    if (RegEnumKeyExW(all, i, printers[count], &room, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
      break;
    HKEY key = NULL;
    StoreProcess owner;
    if (RegOpenKeyExW(all, printers[count], 0, KEY_READ | STORE_VIEW, &key) != ERROR_SUCCESS)
      continue;
    if (ReadProcess(key, L"Spooler", &owner) && SameProcess(owner, self)) ++count;
    RegCloseKey(key);
  }
  if (all) RegCloseKey(all);
  for (DWORD i = 0; i < count; ++i) {
    HKEY key = StoreKey(PrinterPath(printers[i]), false);
    if (key && RegDeleteTreeW(key, L"Jobs") == ERROR_SUCCESS)
      StoreSignal(printers[i], PRINTER_CHANGE_DELETE_JOB);
    if (key) RegCloseKey(key);
  }
  HKEY spoolers = StoreKey(L"Spoolers", false);
  if (spoolers) {
    WCHAR name[16];
    swprintf(name, 16, L"%lu", GetCurrentProcessId());
    RegDeleteValueW(spoolers, name);
    RegCloseKey(spoolers);
  }
  StoreLeave();
}

bool StoreRegisterPrinter(const WCHAR* name, uint32_t denied) {
  if (!name || !name[0] || wcschr(name, L'\\') ||
      lstrlenW(name) >= static_cast<int>(STORE_NAME_ROOM)) {
    return false;
  }
  StoreEnter();
  HKEY key = StoreKey(PrinterPath(name), true);
  if (key) {
    RegDeleteTreeW(key, L"Jobs");
    WriteProcess(key, L"Spooler", StoreSelf());
    WriteDword(key, L"Denied", denied);
    WriteDword(key, L"Status", 0);
    WriteDword(key, L"Job Order", 0);
    RegCloseKey(key);
    RetargetConnections(name, NULL);  // the user's connections are this run's
  }
  StoreLeave();
  return key != NULL;
}

bool StoreAddConnection(const WCHAR* server, const WCHAR* printer) {
  std::wstring connection = std::wstring(L"\\\\") + server + L"\\" + printer;
  StoreEnter();
  HKEY connections = StoreKey(L"Connections", true);
  if (connections) {
    RegSetValueExW(connections, connection.c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(printer), (lstrlenW(printer) + 1) * sizeof(WCHAR));
    RegCloseKey(connections);
  }
  StoreLeave();
  return connections != NULL;
}

bool StoreRenamePrinter(const WCHAR* from, const WCHAR* to) {
  if (!to[0] || wcschr(to, L'\\') || lstrlenW(to) >= static_cast<int>(STORE_NAME_ROOM))
    return false;
  StoreEnter();
  HKEY all = StoreKey(L"Printers", false);
  HKEY target = NULL;
  bool ok = all != NULL;
  if (ok && RegOpenKeyExW(all, to, 0, KEY_READ | STORE_VIEW, &target) == ERROR_SUCCESS) {
    ok = !StorePrinterServed(target, NULL);  // data of an earlier run's printer gives way
    RegCloseKey(target);
    if (ok) RegDeleteTreeW(all, to);
  }
  target = NULL;
  ok = ok && RegCreateKeyExW(all, to, 0, NULL, 0, KEY_ALL_ACCESS | STORE_VIEW, NULL, &target,
                             NULL) == ERROR_SUCCESS;
  ok = ok && RegCopyTreeW(all, from, target) == ERROR_SUCCESS;
  if (target) RegCloseKey(target);
  if (ok) {
    RegDeleteTreeW(all, from);
    RetargetConnections(from, to);
  }
  if (all) RegCloseKey(all);
  StoreLeave();
  return ok;
}

void StoreSetStatus(const WCHAR* printer, DWORD status) {
  StoreEnter();
  HKEY key = StoreKey(PrinterPath(printer), false);
  if (key && StoreDword(key, L"Status", 0) != status) {
    WriteDword(key, L"Status", status);
    StoreSignal(printer, PRINTER_CHANGE_SET_PRINTER);
  }
  if (key) RegCloseKey(key);
  StoreLeave();
}

DWORD StoreSpoolerRunning() {
  HKEY spoolers = StoreKey(L"Spoolers", false);
  bool running = false;
  for (DWORD i = 0; spoolers && !running; ++i) {
    WCHAR name[16];
    DWORD room = 16, type = 0, size = sizeof(StoreProcess);
    StoreProcess p;
    if (RegEnumValueW(spoolers, i, name, &room, NULL, &type, reinterpret_cast<BYTE*>(&p), &size) !=
        ERROR_SUCCESS) {
      break;
    }
    running = type == REG_BINARY && size == sizeof p && StoreProcessAlive(p);
  }
  if (spoolers) RegCloseKey(spoolers);
  return running ? ERROR_SUCCESS : RPC_S_SERVER_UNAVAILABLE;
}

DWORD StoreFindPrinter(const WCHAR* name, WCHAR* printer, StoreProcess* owner, uint32_t* denied) {
  DWORD running = StoreSpoolerRunning();
  if (running != ERROR_SUCCESS) return running;
  if (!name || !name[0] || lstrlenW(name) >= static_cast<int>(STORE_NAME_ROOM))
    return ERROR_INVALID_PRINTER_NAME;
  if (name[0] == L'\\') {
    HKEY connections = StoreKey(L"Connections", false);
    bool found = connections && ConnectionPrinter(connections, name, printer);
    if (connections) RegCloseKey(connections);
    if (!found) return ERROR_INVALID_PRINTER_NAME;
  } else if (wcschr(name, L'\\') != NULL) {
    return ERROR_INVALID_PRINTER_NAME;  // no printer's name has one: not a path into the store
  } else {
    lstrcpynW(printer, name, STORE_NAME_ROOM);
  }
  HKEY key = StoreKey(PrinterPath(printer), false);
  if (key == NULL) return ERROR_INVALID_PRINTER_NAME;
  bool served = StorePrinterServed(key, owner);
  *denied = StoreDword(key, L"Denied", 0);
  RegCloseKey(key);
  if (name[0] != L'\\' && (*denied & STORE_DENY_LOCAL)) served = false;  // the server's own name
  return served ? ERROR_SUCCESS : ERROR_INVALID_PRINTER_NAME;
}

DWORD StoreStillServed(const WCHAR* printer, const StoreProcess& owner) {
  if (!StoreProcessAlive(owner)) return RPC_S_SERVER_UNAVAILABLE;
  HKEY key = StoreKey(PrinterPath(printer), false);
  StoreProcess now;
  bool same = key && StorePrinterServed(key, &now) && SameProcess(now, owner);
  if (key) RegCloseKey(key);
  return same ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;  // renamed, or taken by another spooler
}

uint32_t StoreListPrinters(bool local, bool connections, bool own, StoreListed* out,
                           uint32_t room) {
  uint32_t count = 0;
  HKEY all = local ? StoreKey(L"Printers", false) : NULL;
  for (DWORD i = 0; all && count < room; ++i) {
    StoreListed* e = &out[count];
    DWORD size = STORE_NAME_ROOM;
    if (RegEnumKeyExW(all, i, e->name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
    e->server[0] = 0;
    // A print server's printer is this machine's only to its own spooler (the monitor).
    if (ListedPrinter(e->name, own, e) && (own || !(PrinterDenied(e->name) & STORE_DENY_LOCAL))) {
      ++count;
    }
  }
  if (all) RegCloseKey(all);
  HKEY list = connections ? StoreKey(L"Connections", false) : NULL;
  for (DWORD i = 0; list && count < room; ++i) {
    StoreListed* e = &out[count];
    WCHAR printer[STORE_NAME_ROOM];
    DWORD size = STORE_NAME_ROOM;
    if (RegEnumValueW(list, i, e->name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
    ServerOf(e->name, e->server);
    if (ConnectionPrinter(list, e->name, printer) && ListedPrinter(printer, own, e)) ++count;
  }
  if (list) RegCloseKey(list);
  return count;
}

DWORD StoreGetData(const WCHAR* printer, const WCHAR* key, const WCHAR* value, DWORD* type,
                   BYTE* data, DWORD size, DWORD* needed) {
  if (!key || !key[0] || !value || !needed) return ERROR_INVALID_PARAMETER;
  HKEY k = StoreKey(PrinterPath(printer, (std::wstring(L"Data\\") + key).c_str()), false);
  if (k == NULL) return ERROR_FILE_NOT_FOUND;
  DWORD t = 0, n = 0;
  LONG r = RegQueryValueExW(k, value, NULL, &t, NULL, &n);
  if (r == ERROR_SUCCESS) {
    *needed = n;
    if (type) *type = t;
    if (data == NULL || size < n) {
      r = ERROR_MORE_DATA;
    } else {
      r = RegQueryValueExW(k, value, NULL, &t, data, &n);
    }
  }
  RegCloseKey(k);
  return static_cast<DWORD>(r);
}

DWORD StoreSetData(const WCHAR* printer, const WCHAR* key, const WCHAR* value, DWORD type,
                   const BYTE* data, DWORD size) {
  if (!key || !key[0] || !value || (!data && size)) return ERROR_INVALID_PARAMETER;
  HKEY k = StoreKey(PrinterPath(printer, (std::wstring(L"Data\\") + key).c_str()), true);
  if (k == NULL) return ERROR_ACCESS_DENIED;
  LONG r = RegSetValueExW(k, value, 0, type, data, size);
  RegCloseKey(k);
  return static_cast<DWORD>(r);
}

DWORD StoreDeleteData(const WCHAR* printer, const WCHAR* key, const WCHAR* value) {
  if (!key || !key[0] || !value) return ERROR_INVALID_PARAMETER;
  HKEY k = StoreKey(PrinterPath(printer, (std::wstring(L"Data\\") + key).c_str()), false);
  if (k == NULL) return ERROR_FILE_NOT_FOUND;
  LONG r = RegDeleteValueW(k, value);
  RegCloseKey(k);
  return static_cast<DWORD>(r);
}
