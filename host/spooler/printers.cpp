#include "printers.h"

#include <winspool.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "printer_store.h"
#include "session_link.h"
#include "timeline.h"
#include "wide_text.h"

namespace {

enum { MAX_PRINTERS = 8, MAX_VALUES = 8, MAX_HANDLES = 64, MAX_JOBS = 64, NAME_ROOM = 256 };

struct DataValue {
  char name[64];
  DWORD type;
  BYTE data[16];
  DWORD size;
};

struct Job {
  uint32_t id;
  uint32_t ejects;  // LAST_PAGE_EJECTED calls for it; after the first the spooler is done with it
};

struct Printer {
  WCHAR key[NAME_ROOM];  // the wide name, by which the printer is found
  char name[NAME_ROOM];  // the program's text of it, as the timeline shows it
  uint32_t status;
  DataValue values[MAX_VALUES];
  int valueCount;
  Job jobs[MAX_JOBS];  // the latest jobs, oldest first
  int jobCount;
};

// Handles are small numbers standing for slots of this table (0: free).
struct HandleSlot {
  int printer;  // index + 1
};

Printer Printers[MAX_PRINTERS];
int PrinterCount = 0;
HandleSlot Handles[MAX_HANDLES];
CRITICAL_SECTION Lock;
bool LockReady = false;
UINT TextCodePage = CP_ACP;  // of the program's names
std::wstring ServerPrefix;   // "\\server\" of a clustered spooler's printers, else empty
bool SessionRecords = false;

const uintptr_t HANDLE_BASE = 0x5150;

struct StatusName {
  uint32_t bit;
  const char* name;
};

// The PRINTER_STATUS_ bits, in the order of their values.
const StatusName StatusNames[] = {
    {0x00000001, "PAUSED"},        {0x00000002, "ERROR"},      {0x00000004, "PENDING_DELETION"},
    {0x00000008, "PAPER_JAM"},     {0x00000010, "PAPER_OUT"},  {0x00000020, "MANUAL_FEED"},
    {0x00000040, "PAPER_PROBLEM"}, {0x00000080, "OFFLINE"},    {0x00000100, "IO_ACTIVE"},
    {0x00000200, "BUSY"},          {0x00000400, "PRINTING"},   {0x00000800, "OUTPUT_BIN_FULL"},
    {0x00001000, "NOT_AVAILABLE"}, {0x00002000, "WAITING"},    {0x00004000, "PROCESSING"},
    {0x00008000, "INITIALIZING"},  {0x00010000, "WARMING_UP"}, {0x00020000, "TONER_LOW"},
    {0x00040000, "NO_TONER"},      {0x00080000, "PAGE_PUNT"},  {0x00100000, "USER_INTERVENTION"},
    {0x00200000, "OUT_OF_MEMORY"}, {0x00400000, "DOOR_OPEN"},  {0x00800000, "SERVER_UNKNOWN"},
    {0x01000000, "POWER_SAVE"},
};

void EnsureLock() {
  if (!LockReady) {
    InitializeCriticalSection(&Lock);
    LockReady = true;
  }
}

// The printer behind a handle, or NULL. Caller holds the lock.
Printer* FromHandle(HANDLE handle) {
  uintptr_t v = reinterpret_cast<uintptr_t>(handle);
  if (v < HANDLE_BASE || v >= HANDLE_BASE + MAX_HANDLES) return NULL;
  int p = Handles[v - HANDLE_BASE].printer;
  return p ? &Printers[p - 1] : NULL;
}

Printer* Keyed(const std::wstring& key) {
  for (int i = 0; i < PrinterCount; i++) {
    if (key == Printers[i].key) return &Printers[i];
  }
  return NULL;
}

// By the program's text of the name.
Printer* Named(const char* name) {
  return name ? Keyed(WideText(name, TextCodePage)) : NULL;
}

// The printer's job, or NULL. Caller holds the lock.
Job* FindJob(Printer* p, uint32_t id) {
  for (int i = 0; i < p->jobCount; i++) {
    if (p->jobs[i].id == id) return &p->jobs[i];
  }
  return NULL;
}

void EmitCall(const char* call, const Printer* p, BOOL result) {
  TimelineRecord r;
  RecordBegin(&r, "spooler");
  RecordString(&r, "call", call);
  RecordString(&r, "printer", p ? p->name : "");
  RecordNumber(&r, "result", result);
  RecordEnd(&r);
}

BOOL Fail(const char* call, DWORD error) {
  EmitCall(call, NULL, FALSE);
  SetLastError(error);
  return FALSE;
}

// OpenPrinterA / OpenPrinterW: key is the wide name, shown the text the timeline shows.
BOOL OpenPrinterAs(const char* call, const std::wstring& name, const char* shown, HANDLE* handle) {
  // A clustered spooler's printers only with their server's name ahead.
  std::wstring key = name;
  if (!ServerPrefix.empty()) {
    const bool prefixed =
        name.size() > ServerPrefix.size() &&
        CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(),
                       static_cast<int>(ServerPrefix.size()), ServerPrefix.c_str(),
                       static_cast<int>(ServerPrefix.size())) == CSTR_EQUAL;
    key = prefixed ? name.substr(ServerPrefix.size()) : std::wstring();
  }
  EnterCriticalSection(&Lock);
  Printer* p = key.empty() ? NULL : Keyed(key);
  int slot = -1;
  for (int i = 0; p && i < MAX_HANDLES && slot < 0; i++) {
    if (!Handles[i].printer) slot = i;
  }
  if (slot >= 0) {
    Handles[slot].printer = static_cast<int>(p - Printers) + 1;
    *handle = reinterpret_cast<HANDLE>(HANDLE_BASE + slot);
  }
  LeaveCriticalSection(&Lock);
  if (!p) {
    TimelineRecord r;
    RecordBegin(&r, "spooler");
    RecordString(&r, "call", call);
    RecordString(&r, "printer", shown);
    RecordNumber(&r, "result", 0);
    RecordEnd(&r);
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  if (slot < 0) return Fail(call, ERROR_NOT_ENOUGH_MEMORY);
  EmitCall(call, p, TRUE);
  return TRUE;
}

BOOL ClientOpenPrinter(const char* name, HANDLE* handle) {
  return OpenPrinterAs("OpenPrinterA", WideText(name, CP_ACP), name, handle);
}

BOOL ClientOpenPrinterW(const WCHAR* name, HANDLE* handle) {
  return OpenPrinterAs("OpenPrinterW", name ? name : L"", NarrowText(name, CP_UTF8).c_str(),
                       handle);
}

BOOL ClientClosePrinter(HANDLE handle) {
  EnterCriticalSection(&Lock);
  Printer* p = FromHandle(handle);
  if (p) Handles[reinterpret_cast<uintptr_t>(handle) - HANDLE_BASE].printer = 0;
  LeaveCriticalSection(&Lock);
  if (!p) return Fail("ClosePrinter", ERROR_INVALID_HANDLE);
  EmitCall("ClosePrinter", p, TRUE);
  return TRUE;
}

BOOL SetPrinterAs(const char* call, HANDLE handle, DWORD level, BYTE* data, DWORD command) {
  EnterCriticalSection(&Lock);
  Printer* p = FromHandle(handle);
  bool setStatus = p && level == 0 && command == PRINTER_CONTROL_SET_STATUS;
  uint32_t status = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data));
  if (setStatus) p->status = status;
  char printer[NAME_ROOM] = "";
  WCHAR key[NAME_ROOM] = L"";
  if (p) {
    lstrcpynA(printer, p->name, sizeof printer);
    lstrcpynW(key, p->key, NAME_ROOM);
  }
  LeaveCriticalSection(&Lock);
  if (!p) return Fail(call, ERROR_INVALID_HANDLE);
  if (setStatus) StoreSetStatus(key, status);
  if (!setStatus) {
    // Only the status command is a stand-in's business.
    TimelineRecord r;
    RecordBegin(&r, "spooler");
    RecordString(&r, "call", call);
    RecordString(&r, "printer", printer);
    RecordNumber(&r, "level", level);
    RecordNumber(&r, "command", command);
    RecordNumber(&r, "result", 0);
    RecordEnd(&r);
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  char names[512];
  PrinterStatusNames(status, names, sizeof names);
  TimelineRecord r;
  RecordBegin(&r, "status");
  RecordString(&r, "printer", printer);
  RecordHex(&r, "status", status);
  RecordString(&r, "names", names);
  RecordEnd(&r);
  return TRUE;
}

BOOL ClientSetPrinter(HANDLE handle, DWORD level, BYTE* data, DWORD command) {
  return SetPrinterAs("SetPrinterA", handle, level, data, command);
}

BOOL ClientSetPrinterW(HANDLE handle, DWORD level, BYTE* data, DWORD command) {
  return SetPrinterAs("SetPrinterW", handle, level, data, command);
}

BOOL ClientGetPrinter(HANDLE handle, DWORD level, BYTE* buffer, DWORD size, DWORD* needed) {
  EnterCriticalSection(&Lock);
  Printer* p = FromHandle(handle);
  char name[NAME_ROOM] = "";
  uint32_t status = 0;
  if (p) {
    lstrcpynA(name, p->name, sizeof name);
    status = p->status;
  }
  LeaveCriticalSection(&Lock);
  if (!p) return Fail("GetPrinterA", ERROR_INVALID_HANDLE);
  if (level != 2) return Fail("GetPrinterA", ERROR_INVALID_LEVEL);
  // The structure, then the strings it points at, in the caller's buffer.
  DWORD length = static_cast<DWORD>(strlen(name)) + 1;
  DWORD need = sizeof(PRINTER_INFO_2A) + length;
  if (needed) *needed = need;
  if (!buffer || size < need) {
    EmitCall("GetPrinterA", p, FALSE);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  PRINTER_INFO_2A* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer);
  memset(info, 0, sizeof *info);
  char* strings = reinterpret_cast<char*>(buffer + sizeof *info);
  memcpy(strings, name, length);
  info->pPrinterName = strings;
  info->Status = status;
  EmitCall("GetPrinterA", p, TRUE);
  return TRUE;
}

// SetPrinterDataA / SetPrinterDataW: valueName in the program's text.
BOOL SetPrinterDataAs(const char* call, HANDLE handle, const char* valueName, DWORD type,
                      const BYTE* data, DWORD size) {
  EnterCriticalSection(&Lock);
  Printer* p = FromHandle(handle);
  DataValue* v = NULL;
  char printer[NAME_ROOM] = "";
  if (p && valueName && size <= sizeof v->data) {
    lstrcpynA(printer, p->name, sizeof printer);
    for (int i = 0; i < p->valueCount && !v; i++) {
      if (lstrcmpiA(p->values[i].name, valueName) == 0) v = &p->values[i];
    }
    if (!v && p->valueCount < MAX_VALUES) {
      v = &p->values[p->valueCount++];
      lstrcpynA(v->name, valueName, sizeof v->name);
    }
    if (v) {
      v->type = type;
      v->size = size;
      memcpy(v->data, data, size);
    }
  }
  LeaveCriticalSection(&Lock);
  if (!p) return Fail(call, ERROR_INVALID_HANDLE);
  TimelineRecord r;
  RecordBegin(&r, "data");
  RecordString(&r, "printer", printer);
  RecordString(&r, "name", valueName);
  if (v && type == REG_DWORD && size == 4) {
    DWORD value;
    memcpy(&value, data, 4);
    RecordNumber(&r, "value", value);
  } else {
    RecordNumber(&r, "type", type);
    RecordNumber(&r, "size", size);
  }
  RecordNumber(&r, "result", v != NULL);
  RecordEnd(&r);
  if (!v) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

BOOL ClientSetPrinterData(HANDLE handle, const char* valueName, DWORD type, const BYTE* data,
                          DWORD size) {
  return SetPrinterDataAs("SetPrinterDataA", handle, valueName, type, data, size);
}

DWORD ClientSetPrinterDataW(HANDLE handle, const WCHAR* valueName, DWORD type, const BYTE* data,
                            DWORD size) {
  std::string name = NarrowText(valueName, CP_UTF8);
  if (SetPrinterDataAs("SetPrinterDataW", handle, valueName ? name.c_str() : NULL, type, data,
                       size)) {
    return ERROR_SUCCESS;
  }
  return GetLastError();
}

// A job of the printer's that the monitor controls; the spooler gives up a job whose last page
// is out, so a second LAST_PAGE_EJECTED finds it no more.
BOOL ClientSetJobW(HANDLE handle, DWORD jobId, DWORD level, BYTE* job, DWORD command) {
  EnterCriticalSection(&Lock);
  Printer* p = FromHandle(handle);
  char printer[NAME_ROOM] = "";
  WCHAR key[NAME_ROOM] = L"";
  DWORD error = ERROR_SUCCESS;
  bool ejected = false;
  if (!p) {
    error = ERROR_INVALID_HANDLE;
  } else {
    lstrcpynA(printer, p->name, sizeof printer);
    lstrcpynW(key, p->key, NAME_ROOM);
    Job* j = FindJob(p, jobId);
    bool gone = !j || j->ejects;
    ejected = !gone && command == JOB_CONTROL_LAST_PAGE_EJECTED;
    if (j && command == JOB_CONTROL_LAST_PAGE_EJECTED) j->ejects++;
    if (level != 0 || job != NULL) {
      error = ERROR_INVALID_LEVEL;  // only job commands are a stand-in's business
    } else if (gone) {
      error = ERROR_INVALID_PARAMETER;
    }
  }
  LeaveCriticalSection(&Lock);
  if (ejected) StoreRemoveJob(key, jobId);  // out of the printer's queue
  TimelineRecord r;
  RecordBegin(&r, "job-control");
  RecordString(&r, "printer", printer);
  RecordNumber(&r, "job", jobId);
  RecordNumber(&r, "command", command);
  if (level != 0) RecordNumber(&r, "level", level);
  RecordNumber(&r, "result", error == ERROR_SUCCESS);
  if (error != ERROR_SUCCESS) RecordNumber(&r, "error", error);
  RecordEnd(&r);
  if (error == ERROR_SUCCESS) return TRUE;
  SetLastError(error);
  return FALSE;
}

// The printer's wide name behind a monitor's handle; false when the handle is none.
bool KeyOf(HANDLE handle, WCHAR* key, char* name) {
  EnterCriticalSection(&Lock);
  Printer* p = FromHandle(handle);
  if (p) {
    lstrcpynW(key, p->key, NAME_ROOM);
    lstrcpynA(name, p->name, NAME_ROOM);
  }
  LeaveCriticalSection(&Lock);
  return p != NULL;
}

bool IsSessionValue(const WCHAR* key, const WCHAR* value, const WCHAR* which) {
  return key && value && lstrcmpiW(key, SESSION_DATA_KEY) == 0 && lstrcmpiW(value, which) == 0;
}

// The monitor's publication of the printer's status, as the display program reads it.
void SessionStatusRecord(const char* printer, DWORD type, const BYTE* data, DWORD size,
                         DWORD result) {
  TimelineRecord r;
  RecordBegin(&r, "session");
  RecordString(&r, "what", "status");
  RecordString(&r, "printer", printer);
  SessionStatus st;
  if (type == REG_BINARY && size == sizeof st) {
    memcpy(&st, data, sizeof st);
    RecordNumber(&r, "code", st.code);
    RecordNumber(&r, "model", st.model);
    RecordNumber(&r, "sequence", st.sequence);
    RecordNumber(&r, "thread_ended", st.threadEnded);
    RecordNumber(&r, "spooler_start", st.spoolerStart);
  } else {
    RecordNumber(&r, "type", type);
    RecordNumber(&r, "size", size);
  }
  RecordNumber(&r, "result", result == ERROR_SUCCESS);
  if (result != ERROR_SUCCESS) RecordNumber(&r, "error", result);
  RecordEnd(&r);
}

DWORD ClientGetPrinterDataExW(HANDLE handle, const WCHAR* key, const WCHAR* value, DWORD* type,
                              BYTE* data, DWORD size, DWORD* needed) {
  WCHAR printer[NAME_ROOM];
  char name[NAME_ROOM];
  if (!KeyOf(handle, printer, name)) return ERROR_INVALID_HANDLE;
  return StoreGetData(printer, key, value, type, data, size, needed);
}

DWORD ClientSetPrinterDataExW(HANDLE handle, const WCHAR* key, const WCHAR* value, DWORD type,
                              const BYTE* data, DWORD size) {
  WCHAR printer[NAME_ROOM];
  char name[NAME_ROOM];
  if (!KeyOf(handle, printer, name)) return ERROR_INVALID_HANDLE;
  DWORD result = StoreSetData(printer, key, value, type, data, size);
  if (SessionRecords && IsSessionValue(key, value, SESSION_STATUS_VALUE))
    SessionStatusRecord(name, type, data, size, result);
  return result;
}

DWORD ClientDeletePrinterDataExW(HANDLE handle, const WCHAR* key, const WCHAR* value) {
  WCHAR printer[NAME_ROOM];
  char name[NAME_ROOM];
  if (!KeyOf(handle, printer, name)) return ERROR_INVALID_HANDLE;
  DWORD result = StoreDeleteData(printer, key, value);
  if (SessionRecords && IsSessionValue(key, value, SESSION_DRUM_RESET_VALUE)) {
    TimelineRecord r;
    RecordBegin(&r, "session");
    RecordString(&r, "what", "drum-deleted");
    RecordString(&r, "printer", name);
    RecordNumber(&r, "result", result == ERROR_SUCCESS);
    if (result != ERROR_SUCCESS) RecordNumber(&r, "error", result);
    RecordEnd(&r);
  }
  return result;
}

const SpoolerClientOps ClientOps = {
    ClientOpenPrinter,           // openPrinter
    ClientClosePrinter,          // closePrinter
    ClientSetPrinter,            // setPrinter
    ClientGetPrinter,            // getPrinter
    ClientSetPrinterData,        // setPrinterData
    ClientOpenPrinterW,          // openPrinterW
    ClientSetPrinterW,           // setPrinterW
    ClientSetPrinterDataW,       // setPrinterDataW
    ClientSetJobW,               // setJobW
    ClientGetPrinterDataExW,     // getPrinterDataExW
    ClientSetPrinterDataExW,     // setPrinterDataExW
    ClientDeletePrinterDataExW,  // deletePrinterDataExW
};

// The text into a store name (cut to its room).
void StoreName(const char* text, WCHAR* out) {
  lstrcpynW(out, WideText(text, TextCodePage).c_str(), STORE_NAME_ROOM);
}

}  // namespace

void PrinterNamesAreUtf8(bool utf8) {
  TextCodePage = utf8 ? CP_UTF8 : CP_ACP;
}

void PrinterSessionRecords(bool on) {
  SessionRecords = on;
}

bool AddPrinter(const char* name, uint32_t denied) {
  EnsureLock();
  std::wstring key = WideText(name, TextCodePage);
  EnterCriticalSection(&Lock);
  bool ok = PrinterCount < MAX_PRINTERS && !Keyed(key) && strlen(name) < NAME_ROOM &&
            key.size() < NAME_ROOM;
  if (ok) {
    Printer* p = &Printers[PrinterCount];
    memset(p, 0, sizeof *p);
    strcpy(p->name, name);
    memcpy(p->key, key.c_str(), (key.size() + 1) * sizeof(WCHAR));
    PrinterCount++;
  }
  LeaveCriticalSection(&Lock);
  if (ok) StoreRegisterPrinter(key.c_str(), denied);
  return ok;
}

void PrintersOfServer(const char* server) {
  ServerPrefix = L"\\\\" + WideText(server, CP_UTF8) + L"\\";
}

bool RenamePrinter(const char* from, const char* to) {
  EnsureLock();
  std::wstring oldKey = WideText(from, TextCodePage), newKey = WideText(to, TextCodePage);
  EnterCriticalSection(&Lock);
  Printer* p = Keyed(oldKey);
  bool ok = p && !Keyed(newKey) && strlen(to) < NAME_ROOM && newKey.size() < NAME_ROOM;
  if (ok) {
    strcpy(p->name, to);
    memcpy(p->key, newKey.c_str(), (newKey.size() + 1) * sizeof(WCHAR));
  }
  LeaveCriticalSection(&Lock);
  if (ok) StoreRenamePrinter(oldKey.c_str(), newKey.c_str());  // its data and jobs go along
  return ok;
}

uint32_t PrinterStatus(const char* name) {
  EnsureLock();
  EnterCriticalSection(&Lock);
  Printer* p = Named(name);
  uint32_t status = p ? p->status : 0;
  LeaveCriticalSection(&Lock);
  return status;
}

bool PrinterDataValue(const char* name, const char* valueName, uint32_t* value) {
  EnsureLock();
  EnterCriticalSection(&Lock);
  Printer* p = Named(name);
  bool found = false;
  for (int i = 0; p && i < p->valueCount && !found; i++) {
    const DataValue& v = p->values[i];
    if (lstrcmpiA(v.name, valueName) == 0 && v.type == REG_DWORD && v.size == 4) {
      memcpy(value, v.data, 4);
      found = true;
    }
  }
  LeaveCriticalSection(&Lock);
  return found;
}

void PrinterJobAdded(const char* name, const PrinterJob& job) {
  const uint32_t jobId = job.id;
  EnsureLock();
  EnterCriticalSection(&Lock);
  Printer* p = Named(name);
  StoreJob queued = {};
  WCHAR key[NAME_ROOM] = L"";
  if (p) lstrcpynW(key, p->key, NAME_ROOM);
  if (p && !FindJob(p, jobId)) {
    if (p->jobCount == MAX_JOBS) {  // the oldest is forgotten
      memmove(p->jobs, p->jobs + 1, (MAX_JOBS - 1) * sizeof p->jobs[0]);
      p->jobCount--;
    }
    p->jobs[p->jobCount].id = jobId;
    p->jobs[p->jobCount].ejects = 0;
    p->jobCount++;
  }
  LeaveCriticalSection(&Lock);
  if (!key[0]) return;
  queued.id = jobId;
  queued.status = JOB_STATUS_PRINTING;
  queued.pages = job.pages;
  GetLocalTime(&queued.submitted);
  StoreName(job.document, queued.document);
  DWORD room = STORE_NAME_ROOM;
  if (job.owner && job.owner[0])
    StoreName(job.owner, queued.owner);
  else if (!GetUserNameW(queued.owner, &room))
    queued.owner[0] = 0;
  if (job.machine && job.machine[0]) {
    StoreName(job.machine, queued.machine);
  } else {
    WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1] = L"";
    room = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(computer, &room);
    lstrcpynW(queued.machine, (std::wstring(L"\\\\") + computer).c_str(), STORE_NAME_ROOM);
  }
  StoreAddJob(key, queued);
}

uint32_t PrinterJobEjects(const char* name, uint32_t jobId) {
  EnsureLock();
  EnterCriticalSection(&Lock);
  Printer* p = Named(name);
  Job* j = p ? FindJob(p, jobId) : NULL;
  uint32_t ejects = j ? j->ejects : 0;
  LeaveCriticalSection(&Lock);
  return ejects;
}

int OpenPrinterHandles() {
  EnsureLock();
  EnterCriticalSection(&Lock);
  int n = 0;
  for (int i = 0; i < MAX_HANDLES; i++) n += Handles[i].printer != 0;
  LeaveCriticalSection(&Lock);
  return n;
}

const SpoolerClientOps* PrinterClientOps() {
  EnsureLock();
  return &ClientOps;
}

void PrinterStatusNames(uint32_t status, char* out, size_t room) {
  size_t used = 0;
  out[0] = '\0';
  if (status == 0) {
    snprintf(out, room, "0");
    return;
  }
  for (const StatusName& s : StatusNames) {
    if (!(status & s.bit)) continue;
    int n = snprintf(out + used, room - used, "%s%s", used ? "+" : "", s.name);
    if (n < 0 || static_cast<size_t>(n) >= room - used) return;
    used += static_cast<size_t>(n);
    status &= ~s.bit;
  }
  if (status)
    snprintf(out + used, room - used, "%s0x%lx", used ? "+" : "",
             static_cast<unsigned long>(status));
}
