#include "monitor_registry.h"

#include <stdio.h>
#include <string.h>

#include "timeline.h"
#include "wide_text.h"

namespace {

enum { MAX_KEYS = 32 };

// Opaque handles are numbers from here: KEY_BASE + slot (slot 0: the root).
const uintptr_t KEY_BASE = 0x7E60;
HANDLE const SPOOLER = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5B00));

HKEY Keys[MAX_KEYS];  // NULL: free
CRITICAL_SECTION Lock;
bool FailAll = false;
volatile LONG Retired = 0;

void Record(const char* call, const WCHAR* name, LONG result, const BYTE* dword = NULL) {
  TimelineRecord r;
  RecordBegin(&r, "registry");
  RecordString(&r, "call", call);
  if (name) RecordString(&r, "name", NarrowText(name, CP_UTF8).c_str());
  if (dword && result == ERROR_SUCCESS) {
    DWORD value;
    memcpy(&value, dword, sizeof value);
    RecordNumber(&r, "value", value);
  }
  RecordNumber(&r, "result", result);
  RecordEnd(&r);
}

// Checks the spooler handle and the faults, and translates the key handle.
LONG Begin(HANDLE key, HANDLE spooler, HKEY* out) {
  if (spooler != SPOOLER || Retired) return ERROR_INVALID_HANDLE;
  if (FailAll) return ERROR_ACCESS_DENIED;
  uintptr_t v = reinterpret_cast<uintptr_t>(key);
  EnterCriticalSection(&Lock);
  *out = v >= KEY_BASE && v < KEY_BASE + MAX_KEYS ? Keys[v - KEY_BASE] : NULL;
  LeaveCriticalSection(&Lock);
  return *out ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// What a call's record shows: the value or key name (an Enum call's: the one it found), and a
// REG_DWORD value read or written.
struct Shown {
  const WCHAR* name;
  const BYTE* dword;
};

// One callback: the checks, body(key, &shown) on the translated key, the record.
template <typename Body>
LONG Callback(const char* call, const WCHAR* name, HANDLE key, HANDLE spooler, Body body) {
  HKEY k;
  Shown shown = {name, NULL};
  LONG e = Begin(key, spooler, &k);
  if (e == ERROR_SUCCESS) e = body(k, &shown);
  Record(call, shown.name, e, shown.dword);
  return e;
}

const WCHAR* Named(const WCHAR* name) {
  return name ? name : L"";
}

// A handle for a key just opened; closes it when no slot is free.
LONG Hand(HKEY key, PHANDLE out) {
  EnterCriticalSection(&Lock);
  int slot = -1;
  for (int i = 1; i < MAX_KEYS && slot < 0; i++) {
    if (!Keys[i]) slot = i;
  }
  if (slot > 0) Keys[slot] = key;
  LeaveCriticalSection(&Lock);
  if (slot < 0) {
    RegCloseKey(key);
    return ERROR_TOO_MANY_OPEN_FILES;
  }
  *out = reinterpret_cast<HANDLE>(KEY_BASE + slot);
  return ERROR_SUCCESS;
}

// The four-byte value at data when it is a REG_DWORD; else NULL.
const BYTE* Dword(DWORD type, const BYTE* data, const DWORD* size) {
  return type == REG_DWORD && data && size && *size == sizeof(DWORD) ? data : NULL;
}

LONG WINAPI CreateKey(HANDLE key, LPCWSTR subKey, DWORD options, REGSAM access,
                      PSECURITY_ATTRIBUTES security, PHANDLE result, PDWORD disposition,
                      HANDLE spooler) {
  return Callback("CreateKey", Named(subKey), key, spooler, [&](HKEY k, Shown*) {
    HKEY opened;
    if (!result) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    LONG e = RegCreateKeyExW(k, subKey, 0, NULL, options, access, security, &opened, disposition);
    return e == ERROR_SUCCESS ? Hand(opened, result) : e;
  });
}

LONG WINAPI OpenKey(HANDLE key, LPCWSTR subKey, REGSAM access, PHANDLE result, HANDLE spooler) {
  return Callback("OpenKey", Named(subKey), key, spooler, [&](HKEY k, Shown*) {
    HKEY opened;
    if (!result) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    LONG e = RegOpenKeyExW(k, subKey, 0, access, &opened);
    return e == ERROR_SUCCESS ? Hand(opened, result) : e;
  });
}

// The root belongs to the spooler: the monitor cannot close it.
LONG WINAPI CloseKey(HANDLE key, HANDLE spooler) {
  return Callback("CloseKey", NULL, key, spooler, [&](HKEY k, Shown*) {
    if (key == MonitorRegistryRoot()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    EnterCriticalSection(&Lock);
    Keys[reinterpret_cast<uintptr_t>(key) - KEY_BASE] = NULL;
    LeaveCriticalSection(&Lock);
    return RegCloseKey(k);
  });
}

LONG WINAPI DeleteKey(HANDLE key, LPCWSTR subKey, HANDLE spooler) {
  return Callback("DeleteKey", Named(subKey), key, spooler,
                  [&](HKEY k, Shown*) { return RegDeleteKeyW(k, subKey); });
}

LONG WINAPI EnumKey(HANDLE key, DWORD index, LPWSTR name, PDWORD chars, PFILETIME written,
                    HANDLE spooler) {
  return Callback("EnumKey", NULL, key, spooler, [&](HKEY k, Shown* shown) {
    LONG e = RegEnumKeyExW(k, index, name, chars, NULL, NULL, NULL, written);
    if (e == ERROR_SUCCESS) shown->name = name;
    return e;
  });
}

LONG WINAPI QueryInfoKey(HANDLE key, PDWORD subKeys, PDWORD keyChars, PDWORD values,
                         PDWORD valueChars, PDWORD dataBytes, PDWORD securityBytes,
                         PFILETIME written, HANDLE spooler) {
  return Callback("QueryInfoKey", NULL, key, spooler, [&](HKEY k, Shown*) {
    return RegQueryInfoKeyW(k, NULL, NULL, NULL, subKeys, keyChars, NULL, values, valueChars,
                            dataBytes, securityBytes, written);
  });
}

LONG WINAPI SetValue(HANDLE key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size,
                     HANDLE spooler) {
  return Callback("SetValue", Named(name), key, spooler, [&](HKEY k, Shown* shown) {
    shown->dword = Dword(type, data, &size);
    return RegSetValueExW(k, name, 0, type, data, size);
  });
}

LONG WINAPI DeleteValue(HANDLE key, LPCWSTR name, HANDLE spooler) {
  return Callback("DeleteValue", Named(name), key, spooler,
                  [&](HKEY k, Shown*) { return RegDeleteValueW(k, name); });
}

LONG WINAPI EnumValue(HANDLE key, DWORD index, LPWSTR name, PDWORD chars, PDWORD type, PBYTE data,
                      PDWORD size, HANDLE spooler) {
  return Callback("EnumValue", NULL, key, spooler, [&](HKEY k, Shown* shown) {
    LONG e = RegEnumValueW(k, index, name, chars, NULL, type, data, size);
    if (e == ERROR_SUCCESS) shown->name = name;
    return e;
  });
}

LONG WINAPI QueryValue(HANDLE key, LPCWSTR name, PDWORD type, PBYTE data, PDWORD size,
                       HANDLE spooler) {
  return Callback("QueryValue", Named(name), key, spooler, [&](HKEY k, Shown* shown) {
    DWORD kind = REG_NONE;
    LONG e = RegQueryValueExW(k, name, NULL, &kind, data, size);
    if (type) *type = kind;
    shown->dword = Dword(kind, data, size);
    return e;
  });
}

MONITORREG Callbacks = {
    sizeof(MONITORREG),  // cbSize
    CreateKey,           // fpCreateKey
    OpenKey,             // fpOpenKey
    CloseKey,            // fpCloseKey
    DeleteKey,           // fpDeleteKey
    EnumKey,             // fpEnumKey
    QueryInfoKey,        // fpQueryInfoKey
    SetValue,            // fpSetValue
    DeleteValue,         // fpDeleteValue
    EnumValue,           // fpEnumValue
    QueryValue,          // fpQueryValue
};

}  // namespace

bool MonitorRegistryStart(const std::string& root, bool failAll) {
  InitializeCriticalSection(&Lock);
  FailAll = failAll;
  LONG e = RegCreateKeyExW(HKEY_LOCAL_MACHINE, WideText(root.c_str(), CP_UTF8).c_str(), 0, NULL, 0,
                           KEY_ALL_ACCESS, NULL, &Keys[0], NULL);
  if (e != ERROR_SUCCESS) {
    fprintf(stderr, "qvlspool: cannot make the monitor's key HKLM\\%s (error %ld)\n", root.c_str(),
            static_cast<long>(e));
    return false;
  }
  return true;
}

HANDLE MonitorRegistrySpooler() {
  return SPOOLER;
}

HANDLE MonitorRegistryRoot() {
  return reinterpret_cast<HANDLE>(KEY_BASE);
}

MONITORREG* MonitorRegistryCallbacks() {
  return &Callbacks;
}

void MonitorRegistryRetire() {
  InterlockedExchange(&Retired, 1);
}
