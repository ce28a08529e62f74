// The program's side of the NT display link (session_link.h): a worker thread finds the
// printers whose data carries the link's key among the local printers and the user's printer
// connections, opens them with the right to use them (so the user sees exactly the printers the
// user may use, a print server's included), reads their status as it changes and queues what is
// new for the main window. The spooler's functions are found at run time, so the program still
// starts on the Windows 95 generation (without this link).
#include "program.h"

#include "session_link.h"
#include "session_watch.h"
#include "status_codes.h"

namespace {

struct SpoolerFunctions {
  BOOL(WINAPI* enumPrinters)(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
  BOOL(WINAPI* openPrinter)(LPWSTR, LPHANDLE, LPPRINTER_DEFAULTSW);
  BOOL(WINAPI* closePrinter)(HANDLE);
  DWORD(WINAPI* getData)(HANDLE, LPCWSTR, LPCWSTR, LPDWORD, LPBYTE, DWORD, LPDWORD);
  DWORD(WINAPI* setData)(HANDLE, LPCWSTR, LPCWSTR, DWORD, LPBYTE, DWORD);
  BOOL(WINAPI* enumJobs)(HANDLE, DWORD, DWORD, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
  HANDLE(WINAPI* findFirstChange)(HANDLE, DWORD, DWORD, LPVOID);
  BOOL(WINAPI* findNextChange)(HANDLE, PDWORD, LPVOID, LPVOID*);
  BOOL(WINAPI* findCloseChange)(HANDLE);
  BOOL(WINAPI* getUserName)(LPWSTR, LPDWORD);
  BOOL(WINAPI* getComputerName)(LPWSTR, LPDWORD);
};
SpoolerFunctions Spooler = {};

// How often the printers are looked for (added ones, removed ones); a local printer that
// carries no status of ours yet is asked again at each look (its first status may come any
// time), a print server's only this seldom (each question is a call to the server).
const DWORD kFindPrintersMs = 5000;
const DWORD kRecheckOthersMs = 60000;
// How often a local printer is read (its change notification wakes the reader sooner for what
// the spooler reports; it reports no printer data); a printer of a print server is read this
// seldom, each read being a call to the server from every client.
const DWORD kLocalReadMs = 1000;
const DWORD kRemoteReadMs = 15000;
const DWORD kMaxPrinters = 48;  // watched at once (one wait takes the change handles)
const DWORD kMaxOthers = 64;    // printers found to carry no status of ours
const DWORD kQueueRoom = 64;    // entries waiting for the main window
const DWORD kJobRoom = 0x4000;  // bytes of jobs read at once

struct Watched {
  BOOL used;
  BOOL remote;     // a connection to a print server's printer
  HANDLE printer;  // opened with PRINTER_ACCESS_USE
  HANDLE change;   // its change notification, or NULL
  SessionSeen seen;
  BOOL shown;         // a code of it went to the window and no end since
  DWORD lastJobTick;  // the user's job was last seen in its queue (0: never)
  DWORD nextRead;     // tick of its next read
  BOOL readNow;       // its change notification fired
  BOOL listed;        // found again by the latest look for printers
  uint16_t name[SESSION_PRINTER_CHARS];
};

struct Other {
  DWORD tick;  // when it was found to carry nothing of ours (0: free)
  uint16_t name[SESSION_PRINTER_CHARS];
};

// The worker's own (only it touches them).
Watched Printers[kMaxPrinters];
Other Others[kMaxOthers];
uint16_t UserName[SESSION_PRINTER_CHARS];
uint16_t MachineName[SESSION_PRINTER_CHARS];
BYTE JobBuffer[kJobRoom];

// The queue the main window reads, under QueueLock.
CRITICAL_SECTION QueueLock;
SessionEntry Queue[kQueueRoom];
DWORD QueueFirst = 0, QueueCount = 0;

HWND Window = NULL;
HANDLE StopEvent = NULL;
HANDLE Worker = NULL;
BOOL All = FALSE;

template <typename F>
bool Find(HMODULE module, const char* name, F* slot) {
  *slot =
      module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : NULL;
  return *slot != NULL;
}

bool FindFunctions() {
  HMODULE spooler = LoadLibraryA("winspool.drv");
  bool all = Find(spooler, "EnumPrintersW", &Spooler.enumPrinters);
  all = Find(spooler, "OpenPrinterW", &Spooler.openPrinter) && all;
  all = Find(spooler, "ClosePrinter", &Spooler.closePrinter) && all;
  all = Find(spooler, "GetPrinterDataExW", &Spooler.getData) && all;
  all = Find(spooler, "SetPrinterDataExW", &Spooler.setData) && all;
  all = Find(spooler, "EnumJobsW", &Spooler.enumJobs) && all;
  all = Find(GetModuleHandleA("kernel32.dll"), "GetComputerNameW", &Spooler.getComputerName) && all;
  all = Find(LoadLibraryA("advapi32.dll"), "GetUserNameW", &Spooler.getUserName) && all;
  // Without change notifications the printers are read at the poll's rate alone.
  Find(spooler, "FindFirstPrinterChangeNotification", &Spooler.findFirstChange);
  Find(spooler, "FindNextPrinterChangeNotification", &Spooler.findNextChange);
  Find(spooler, "FindClosePrinterChangeNotification", &Spooler.findCloseChange);
  if (!Spooler.findFirstChange || !Spooler.findNextChange || !Spooler.findCloseChange) {
    Spooler.findFirstChange = NULL;
  }
  return all;
}

void CopyName(const uint16_t* from, uint16_t* to) {
  uint32_t i = 0;
  for (; from != NULL && from[i] != 0 && i + 1 < SESSION_PRINTER_CHARS; ++i) to[i] = from[i];
  to[i] = 0;
}

bool SameName(const uint16_t* a, const uint16_t* b) {
  for (uint32_t i = 0; i < SESSION_PRINTER_CHARS; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == 0) return true;
  }
  return true;
}

LPWSTR Wide(uint16_t* text) {
  return reinterpret_cast<LPWSTR>(text);
}
const uint16_t* Utf16(LPCWSTR text) {
  return reinterpret_cast<const uint16_t*>(text);
}

void Post(const SessionEntry& taken, const Watched& w) {
  EnterCriticalSection(&QueueLock);
  if (QueueCount == kQueueRoom) {  // the window is far behind: the oldest entry goes
    QueueFirst = (QueueFirst + 1) % kQueueRoom;
    --QueueCount;
  }
  SessionEntry& entry = Queue[(QueueFirst + QueueCount) % kQueueRoom];
  ++QueueCount;
  entry = taken;
  CopyName(w.name, entry.printer);
  LeaveCriticalSection(&QueueLock);
  PostMessageA(Window, DLM_SESSION_CHANGED, 0, 0);
}

// The printer's dialogs close (it left the user's view, or cannot be read any more).
void EndShown(Watched* w) {
  if (w->shown) {
    SessionEntry ended = {};
    ended.kind = SESSION_THREAD_ENDED;
    Post(ended, *w);
  }
  w->shown = FALSE;
  w->seen = SessionSeen();
}

void Forget(Watched* w) {
  EndShown(w);
  if (w->change != NULL) Spooler.findCloseChange(w->change);
  if (w->printer != NULL) Spooler.closePrinter(w->printer);
  *w = Watched();
}

// Whether the user has a job in the printer's queue; false also when the jobs cannot be read.
bool OwnJobQueued(HANDLE printer, bool* failed) {
  DWORD needed = 0, count = 0;
  *failed = false;
  if (!Spooler.enumJobs(printer, 0, 0xFFFF, 1, JobBuffer, sizeof JobBuffer, &needed, &count)) {
    // More jobs than the buffer holds: those it holds are enough to look at (none of a queue
    // that long need be the user's, so its end counts as none).
    *failed = GetLastError() != ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  const JOB_INFO_1W* jobs = reinterpret_cast<const JOB_INFO_1W*>(JobBuffer);
  for (DWORD i = 0; i < count; ++i) {
    if (SessionOwnJob(Utf16(jobs[i].pUserName), Utf16(jobs[i].pMachineName), UserName,
                      MachineName)) {
      return true;
    }
  }
  return false;
}

// One read of a watched printer: whether it is in the user's view, and its status when it is.
// False when the printer cannot be read any more.
bool ReadPrinter(Watched* w, DWORD now) {
  bool failed = false;
  const bool job = OwnJobQueued(w->printer, &failed);
  if (failed) return false;
  if (job) w->lastJobTick = now | 1;
  if (!SessionInView(All, job, w->lastJobTick, now)) {
    EndShown(w);  // coming into view again, it shows what stands then
    return true;
  }
  SessionStatus status = {};
  DWORD type = 0, size = 0;
  const DWORD got = Spooler.getData(w->printer, SESSION_DATA_KEY, SESSION_STATUS_VALUE, &type,
                                    reinterpret_cast<LPBYTE>(&status), sizeof status, &size);
  if (got == ERROR_FILE_NOT_FOUND) return true;  // nothing published yet
  if (got != ERROR_SUCCESS) return got == ERROR_MORE_DATA;
  SessionEntry taken[SESSION_RECENT + 1];
  const uint32_t count =
      SessionTake(&w->seen, status, type == REG_BINARY ? size : 0, taken, SESSION_RECENT + 1);
  for (uint32_t i = 0; i < count; ++i) {
    w->shown = taken[i].kind == SESSION_STATUS_CODE;
    Post(taken[i], *w);
  }
  return true;
}

Watched* WatchedNamed(const uint16_t* name) {
  for (DWORD i = 0; i < kMaxPrinters; ++i) {
    if (Printers[i].used && SameName(Printers[i].name, name)) return &Printers[i];
  }
  return NULL;
}

// Whether name was found lately to carry nothing of ours; forgets it when that is old.
bool KnownOther(const uint16_t* name, DWORD now) {
  for (DWORD i = 0; i < kMaxOthers; ++i) {
    if (Others[i].tick == 0 || !SameName(Others[i].name, name)) continue;
    if (now - Others[i].tick < kRecheckOthersMs) return true;
    Others[i].tick = 0;
  }
  return false;
}

void NoteOther(const uint16_t* name, DWORD now) {
  DWORD slot = 0;
  for (DWORD i = 0; i < kMaxOthers; ++i) {
    if (Others[i].tick == 0 || now - Others[i].tick >= kRecheckOthersMs) {
      slot = i;
      break;
    }
    if (Others[i].tick - now > Others[slot].tick - now) slot = i;  // else the oldest goes
  }
  Others[slot].tick = now | 1;
  CopyName(name, Others[slot].name);
}

// A printer found: watched when the user may use it and its data carries the link's key.
void Consider(uint16_t* name, bool remote, DWORD now) {
  if (WatchedNamed(name) != NULL || (remote && KnownOther(name, now))) return;
  Watched* w = NULL;
  for (DWORD i = 0; i < kMaxPrinters && w == NULL; ++i) w = Printers[i].used ? NULL : &Printers[i];
  if (w == NULL) return;
  PRINTER_DEFAULTSW defaults = {NULL, NULL, PRINTER_ACCESS_USE};
  HANDLE printer = NULL;
  if (!Spooler.openPrinter(Wide(name), &printer, &defaults)) {
    if (remote) NoteOther(name, now);  // not the user's to use, or its server is down now
    return;
  }
  BYTE probe[sizeof(SessionStatus)];
  DWORD type = 0, size = 0;
  const DWORD got = Spooler.getData(printer, SESSION_DATA_KEY, SESSION_STATUS_VALUE, &type, probe,
                                    sizeof probe, &size);
  if (got != ERROR_SUCCESS && got != ERROR_MORE_DATA) {
    Spooler.closePrinter(printer);
    if (remote) NoteOther(name, now);
    return;
  }
  *w = Watched();
  w->used = TRUE;
  w->remote = remote;
  w->printer = printer;
  w->readNow = TRUE;
  CopyName(name, w->name);
  if (Spooler.findFirstChange != NULL) {
    HANDLE change =
        Spooler.findFirstChange(printer, PRINTER_CHANGE_SET_PRINTER | PRINTER_CHANGE_JOB, 0, NULL);
    w->change = change == INVALID_HANDLE_VALUE ? NULL : change;
  }
}

// Looks for the local printers and the user's connections; those gone are forgotten.
void FindPrinters(DWORD now) {
  DWORD needed = 0, count = 0;
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  Spooler.enumPrinters(flags, NULL, 4, NULL, 0, &needed, &count);
  BYTE* buffer = needed != 0 ? static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, needed)) : NULL;
  const bool listed =
      buffer != NULL && Spooler.enumPrinters(flags, NULL, 4, buffer, needed, &needed, &count);
  if (!listed) count = 0;  // the spooler is not there (yet): nothing is watched until it is
  for (DWORD i = 0; i < kMaxPrinters; ++i) Printers[i].listed = FALSE;
  const PRINTER_INFO_4W* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer);
  for (DWORD i = 0; i < count; ++i) {
    if (info[i].pPrinterName == NULL) continue;
    uint16_t name[SESSION_PRINTER_CHARS];
    CopyName(Utf16(info[i].pPrinterName), name);
    const bool remote = (info[i].Attributes & PRINTER_ATTRIBUTE_NETWORK) != 0 ||
                        (name[0] == '\\' && name[1] == '\\');
    Consider(name, remote, now);
    Watched* w = WatchedNamed(name);
    if (w != NULL) w->listed = TRUE;
  }
  for (DWORD i = 0; i < kMaxPrinters; ++i) {
    if (Printers[i].used && !Printers[i].listed) Forget(&Printers[i]);
  }
  if (buffer != NULL) LocalFree(buffer);
}

void ReadNames() {
  DWORD size = SESSION_PRINTER_CHARS;
  if (!Spooler.getUserName(Wide(UserName), &size)) UserName[0] = 0;
  uint16_t computer[SESSION_PRINTER_CHARS - 2];
  size = SESSION_PRINTER_CHARS - 2;
  if (!Spooler.getComputerName(Wide(computer), &size)) computer[0] = 0;
  // As the spooler names a job's machine: "\\NAME".
  MachineName[0] = MachineName[1] = '\\';
  CopyName(computer, MachineName + 2);
}

DWORD WINAPI WorkerThread(LPVOID) {
  ReadNames();
  DWORD lastFind = GetTickCount() - kFindPrintersMs;
  for (;;) {
    DWORD now = GetTickCount();
    if (now - lastFind >= kFindPrintersMs) {
      FindPrinters(now);
      lastFind = now;
    }
    DWORD wait = kFindPrintersMs - (now - lastFind);
    HANDLE handles[1 + kMaxPrinters];
    Watched* owners[1 + kMaxPrinters];
    DWORD count = 0;
    handles[count++] = StopEvent;
    for (DWORD i = 0; i < kMaxPrinters; ++i) {
      Watched* w = &Printers[i];
      if (!w->used) continue;
      now = GetTickCount();
      // A print server's printer is read only while its notification says its jobs changed or
      // the user has a job there (or did lately), or with /all.
      const bool remoteIdle = w->remote && w->change != NULL && !w->readNow && !All &&
                              !SessionInView(FALSE, FALSE, w->lastJobTick, now);
      if (w->readNow || (!remoteIdle && static_cast<LONG>(now - w->nextRead) >= 0)) {
        w->readNow = FALSE;
        if (!ReadPrinter(w, now)) {
          Forget(w);  // found again at the next look, if the spooler serves it again
          continue;
        }
        w->nextRead = now + (w->remote ? kRemoteReadMs : kLocalReadMs);
      }
      const DWORD until = w->nextRead - now;
      if (until < wait) wait = until;
      if (w->change != NULL) {
        handles[count] = w->change;
        owners[count++] = w;
      }
    }
    const DWORD which = WaitForMultipleObjects(count, handles, FALSE, wait);
    if (which == WAIT_OBJECT_0) return 0;
    if (which > WAIT_OBJECT_0 && which < WAIT_OBJECT_0 + count) {
      Watched* w = owners[which - WAIT_OBJECT_0];
      DWORD what = 0;
      Spooler.findNextChange(w->change, &what, NULL, NULL);
      w->readNow = TRUE;
    }
  }
}

}  // namespace

BOOL OpenSessionLink(HWND window, BOOL all) {
  if ((GetVersion() & 0x80000000u) != 0 || !FindFunctions()) return FALSE;
  Window = window;
  All = all;
  InitializeCriticalSection(&QueueLock);
  StopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
  if (StopEvent != NULL) Worker = CreateThread(NULL, 0, WorkerThread, NULL, 0, NULL);
  if (Worker == NULL) {
    if (StopEvent != NULL) CloseHandle(StopEvent);
    StopEvent = NULL;
    DeleteCriticalSection(&QueueLock);
    return FALSE;
  }
  return TRUE;
}

void CloseSessionLink(void) {
  if (Worker == NULL) return;
  SetEvent(StopEvent);
  // A call to a print server that is down may block for a while: the worker is not waited for
  // longer than this, the process ends anyway.
  WaitForSingleObject(Worker, 5000);
  CloseHandle(Worker);
  CloseHandle(StopEvent);
  Worker = StopEvent = NULL;
}

UINT ReadSessionEntries(SessionEntry* entries, UINT room) {
  if (Worker == NULL) return 0;
  EnterCriticalSection(&QueueLock);
  UINT count = 0;
  while (QueueCount != 0 && count < room) {
    entries[count++] = Queue[QueueFirst];
    QueueFirst = (QueueFirst + 1) % kQueueRoom;
    --QueueCount;
  }
  LeaveCriticalSection(&QueueLock);
  return count;
}

DWORD WriteDrumResetRequest(const uint16_t* printer, uint32_t sequence) {
  if (Spooler.openPrinter == NULL && !FindFunctions()) return ERROR_PROC_NOT_FOUND;
  uint16_t name[SESSION_PRINTER_CHARS];
  CopyName(printer, name);
  // Writing printer data needs the right to manage the printer: the spooler's own access check
  // decides who may reset the counter.
  PRINTER_DEFAULTSW defaults = {NULL, NULL, PRINTER_ACCESS_ADMINISTER};
  HANDLE handle = NULL;
  if (!Spooler.openPrinter(Wide(name), &handle, &defaults)) return GetLastError();
  DWORD value = sequence;
  const DWORD result = Spooler.setData(handle, SESSION_DATA_KEY, SESSION_DRUM_RESET_VALUE,
                                       REG_DWORD, reinterpret_cast<LPBYTE>(&value), sizeof value);
  Spooler.closePrinter(handle);
  return result;
}
