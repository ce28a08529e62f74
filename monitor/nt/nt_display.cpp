// The NT face's display link: each printer's status published as printer data of that printer
// (session_link.h), which the spooler keeps under the printer's own access control and serves
// to every session and to a print server's clients. One publishing thread per process makes
// every spooler call of the link: a code is handed to it and it writes the printer's data, so
// no call the spooler made into the monitor ever calls the spooler back. It writes only on a
// change, and while a printer's drum code is shown it looks once a second for a user's reset
// request, which only a user allowed to manage the printer can have written.
#include "identify.h"
#include "monitor_entry.h"
#include "notify_display.h"
#include "nt_monitor.h"
#include "port_ops.h"
#include "session_link.h"
#include "status_codes.h"

namespace {

// One printer the link has published for: its name as the spooler gives it, the instance that
// serves it, the handle the publisher opened (with the right to manage the printer), what it
// published last and what it is asked to publish.
struct LinkPrinter {
  LinkPrinter* next;
  const MonitorInstance* instance;  // identity only: never read through
  WCHAR* openName;                  // "\\server\name" on a clustered spooler, else the name
  WCHAR* name;
  HANDLE printer;
  SessionStatus published;
  // What is to be published, in order: codes, or SESSION_RECENT_ENDED for a thread's end; each
  // one publication (a reader catches up on the record's recent ones).
  DWORD pending[SESSION_RECENT];
  DWORD pendingCount;
  DWORD model;       // the printer's model, as its port last identified it
  BOOL drumDone;     // the drum code now shown has had its reset
  BOOL retired;      // its instance shut down while the publisher was in a call for it
  DWORD deniedTick;  // the spooler refused the handle: not asked again before a while
};

// The publisher's own lock: a leaf, held only to read or change the list and the wanted
// states, never across a spooler call, never while taking the monitor lock.
CRITICAL_SECTION ListLock;
LONG ListLockReady = 0;
LinkPrinter* Printers = NULL;
LinkPrinter* InCall = NULL;  // the printer the publisher is making a spooler call for
DWORD Instances = 0;         // instances that publish; the thread ends at 0
const MonitorInstance* LocalInstance = NULL;  // the instance of the local spooler, if any
BOOL ThreadRunning = FALSE;
BOOL SweepWanted = FALSE;  // printers left from an earlier spooler start are to be found
HANDLE Wake = NULL;        // auto-reset: a change to publish, or the thread should end
DWORD SpoolerStart = 0;    // this process's mark of the spooler start

// How often a printer whose drum code is shown is asked for a reset request.
const DWORD kDrumLookMs = 1000;
// A printer that refused the publisher's handle is tried again after this long at the earliest.
const DWORD kDeniedRetryMs = 60000;
// How long Shutdown waits for a call of the publisher for one of its printers to return.
const DWORD kCallWaitMs = 200;

struct LinkFunctions {
  DWORD(WINAPI* setData)(HANDLE, LPCWSTR, LPCWSTR, DWORD, LPBYTE, DWORD);
  DWORD(WINAPI* getData)(HANDLE, LPCWSTR, LPCWSTR, LPDWORD, LPBYTE, DWORD, LPDWORD);
  DWORD(WINAPI* deleteData)(HANDLE, LPCWSTR, LPCWSTR);
  BOOL(WINAPI* enumPrinters)(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
};
LinkFunctions Link = {};

template <typename F>
void Find(HMODULE spooler, const char* name, F* slot) {
  *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(spooler, name)));
}

void Lock() {
  EnterCriticalSection(&ListLock);
}
void Unlock() {
  LeaveCriticalSection(&ListLock);
}

void FreePrinter(LinkPrinter* p) {
  FreeWide(p->name);
  if (p->openName != NULL) LocalFree(p->openName);
  LocalFree(p);
}

// The list's printer of instance named name, made when missing; NULL when memory is short.
// ListLock held.
LinkPrinter* PrinterNamed(const MonitorInstance* instance, const WCHAR* name) {
  for (LinkPrinter* p = Printers; p != NULL; p = p->next) {
    if (p->instance == instance && SameWide(p->name, name)) return p;
  }
  LinkPrinter* p =
      static_cast<LinkPrinter*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof(LinkPrinter)));
  if (p == NULL) return NULL;
  p->instance = instance;
  p->name = CopyWide(name);
  const WCHAR* server = instance != NULL ? NtInstanceOf(instance)->serverName : NULL;
  p->openName = ServerPrinterName(server, name);
  if (p->name == NULL || p->openName == NULL) {
    FreePrinter(p);
    return NULL;
  }
  p->published.version = SESSION_STATUS_VERSION;
  p->published.spoolerStart = SpoolerStart;
  p->next = Printers;
  Printers = p;
  return p;
}

// The state a printer's publications leave: its last code, or SESSION_RECENT_ENDED.
DWORD LastState(const LinkPrinter* p) {
  if (p->pendingCount != 0) return p->pending[p->pendingCount - 1];
  return p->published.threadEnded ? SESSION_RECENT_ENDED : p->published.code;
}

// Queues one publication for p, unless it would change nothing. ListLock held.
bool Queue(LinkPrinter* p, DWORD item, DWORD model) {
  if (model != 0) p->model = model;
  if (p->published.sequence != 0 && item == LastState(p)) return false;
  if (p->pendingCount == SESSION_RECENT) {  // far behind: the oldest waiting one goes
    for (DWORD i = 1; i < SESSION_RECENT; ++i) p->pending[i - 1] = p->pending[i];
    --p->pendingCount;
  }
  p->pending[p->pendingCount++] = item;
  return true;
}

void Want(const MonitorInstance* instance, const WCHAR* name, DWORD code, DWORD model,
          DWORD ended) {
  if (name == NULL || !ListLockReady) return;
  Lock();
  // A thread's end is published only for a printer with a publication; its instance may have
  // shut down since (the list then holds none of its printers).
  LinkPrinter* p = NULL;
  if (ended) {
    for (p = Printers; p != NULL && !(p->instance == instance && SameWide(p->name, name));) {
      p = p->next;
    }
  } else if (Instances != 0) {
    p = PrinterNamed(instance, name);
  }
  const bool queued = p != NULL && Queue(p, ended ? SESSION_RECENT_ENDED : code, model);
  Unlock();
  if (queued) SetEvent(Wake);
}

HANDLE OpenToManage(const WCHAR* name) {
  if (NtSpooler.openPrinter == NULL) return NULL;
  PRINTER_DEFAULTSW defaults = {NULL, NULL, PRINTER_ACCESS_ADMINISTER};
  HANDLE printer = NULL;
  if (!NtSpooler.openPrinter(const_cast<LPWSTR>(name), &printer, &defaults)) return NULL;
  return printer;
}

// Writes one status record (a call of the publisher; no lock held).
bool WriteStatus(HANDLE printer, const SessionStatus& status) {
  return Link.setData(printer, SESSION_DATA_KEY, SESSION_STATUS_VALUE, REG_BINARY,
                      reinterpret_cast<LPBYTE>(const_cast<SessionStatus*>(&status)),
                      sizeof status) == ERROR_SUCCESS;
}

// Takes p for a spooler call: false when its instance has shut down. ListLock held.
bool BeginCall(LinkPrinter* p) {
  if (p->retired) return false;
  InCall = p;
  return true;
}
// Ends the call; a printer retired meanwhile is closed and freed here (false: p is gone).
// ListLock not held.
bool EndCall(LinkPrinter* p) {
  Lock();
  InCall = NULL;
  const bool retired = p->retired != FALSE;
  Unlock();
  if (retired) {
    if (p->printer != NULL) ClosePrinter(p->printer);
    FreePrinter(p);
  }
  return !retired;
}

// Publishes what p is asked to, one publication at a time. Its handle is opened at its first
// publication and kept: each write is one registry write that the spooler persists and
// announces.
void PublishOne(LinkPrinter* p) {
  for (;;) {
    Lock();
    if (p->pendingCount == 0 || !BeginCall(p)) {
      Unlock();
      return;
    }
    const DWORD item = p->pending[0];
    SessionStatus next = p->published;
    next.version = SESSION_STATUS_VERSION;
    if (next.spoolerStart != SpoolerStart) {
      for (DWORD i = 0; i < SESSION_RECENT; ++i) next.recent[i] = 0;
      next.sequence = 0;
    }
    next.spoolerStart = SpoolerStart;
    next.sequence = SessionNextNumber(next.sequence);
    next.recent[next.sequence % SESSION_RECENT] = item;
    next.code = item == SESSION_RECENT_ENDED ? 0 : item;
    next.threadEnded = item == SESSION_RECENT_ENDED ? 1 : 0;
    next.model = p->model;
    const bool tryOpen = p->printer == NULL &&
                         (p->deniedTick == 0 || GetTickCount() - p->deniedTick >= kDeniedRetryMs);
    Unlock();
    // A printer whose rights deny the spooler's account the right to manage it gets no status
    // published: its users see no dialogs for it; printing is not affected.
    if (tryOpen) {
      HANDLE printer = OpenToManage(p->openName);
      Lock();
      p->printer = printer;
      p->deniedTick = printer == NULL ? (GetTickCount() | 1) : 0;
      Unlock();
    }
    const bool written = p->printer != NULL && WriteStatus(p->printer, next);
    HANDLE failed = NULL;
    Lock();
    if (written) {
      if (next.code != p->published.code) p->drumDone = FALSE;
      p->published = next;
      for (DWORD i = 1; i < p->pendingCount; ++i) p->pending[i - 1] = p->pending[i];
      --p->pendingCount;
    } else if (p->printer != NULL) {
      // A handle the spooler no longer serves (it restarted): opened again at the next
      // change, which publishes this one too.
      failed = p->printer;
      p->printer = NULL;
    } else {
      p->pendingCount = 0;  // refused: nothing of it is published
    }
    Unlock();
    if (failed != NULL) ClosePrinter(failed);
    if (!EndCall(p) || !written) return;
  }
}

// Marks every port of printer p for the drum counter reset command and wakes its thread.
void RequestDrumReset(const LinkPrinter* p) {
  EnterMonitorLock();
  for (PortRecord* r = PortListHead(); r != NULL; r = r->next) {
    if (r->face != &NtFace || r->instance != p->instance || !HasPortFlags(r, PF_THREAD_ALIVE)) {
      continue;
    }
    if (!NtFace.samePrinterName(r, p->name)) continue;
    SetPortFlags(r, PF_DRUM_RESET);
    HANDLE wake = LoadShared(&r->hWakeEvent);
    if (wake != NULL) SetEvent(wake);
  }
  LeaveMonitorLock();
}

// A reset request of p's users: taken (deleted) whatever it says, acted on only when it names
// the publication of the drum code still shown, and only once for that publication.
void LookForDrumRequest(LinkPrinter* p) {
  Lock();
  const bool shown = p->printer != NULL && !p->published.threadEnded &&
                     IsDrumCode(p->published.code) && p->pendingCount == 0;
  if (!shown || !BeginCall(p)) {
    Unlock();
    return;
  }
  Unlock();
  DWORD type = 0, value = 0, size = 0;
  const DWORD got = Link.getData(p->printer, SESSION_DATA_KEY, SESSION_DRUM_RESET_VALUE, &type,
                                 reinterpret_cast<LPBYTE>(&value), sizeof value, &size);
  bool act = false;
  if (got == ERROR_SUCCESS || got == ERROR_MORE_DATA) {
    Link.deleteData(p->printer, SESSION_DATA_KEY, SESSION_DRUM_RESET_VALUE);
    Lock();
    act = got == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value &&
          value == p->published.sequence && IsDrumCode(p->published.code) &&
          !p->published.threadEnded && p->pendingCount == 0 && !p->drumDone;
    if (act) p->drumDone = TRUE;
    Unlock();
  }
  if (act) RequestDrumReset(p);
  EndCall(p);  // p is not used after this
}

// The printers of the local spooler that carry a status of an earlier spooler start whose
// status thread had not ended (the spooler stopped or crashed meanwhile): their status is
// published again as ended, so no reader takes it for the current one.
void SweepLeftOvers() {
  if (Link.enumPrinters == NULL) return;
  DWORD needed = 0, count = 0;
  Link.enumPrinters(PRINTER_ENUM_LOCAL, NULL, 4, NULL, 0, &needed, &count);
  if (needed == 0) return;
  BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, needed));
  if (buffer == NULL) return;
  if (Link.enumPrinters(PRINTER_ENUM_LOCAL, NULL, 4, buffer, needed, &needed, &count)) {
    const PRINTER_INFO_4W* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer);
    for (DWORD i = 0; i < count; ++i) {
      if (info[i].pPrinterName == NULL) continue;
      HANDLE printer = OpenToManage(info[i].pPrinterName);
      if (printer == NULL) continue;
      SessionStatus stored = {};
      DWORD type = 0, size = 0;
      const DWORD got = Link.getData(printer, SESSION_DATA_KEY, SESSION_STATUS_VALUE, &type,
                                     reinterpret_cast<LPBYTE>(&stored), sizeof stored, &size);
      if (got == ERROR_SUCCESS && size == sizeof stored && stored.spoolerStart != SpoolerStart &&
          stored.threadEnded == 0) {
        SessionStatus ended = {};
        ended.version = SESSION_STATUS_VERSION;
        ended.spoolerStart = SpoolerStart;
        ended.sequence = 1;
        ended.model = stored.model;
        ended.threadEnded = 1;
        ended.recent[1] = SESSION_RECENT_ENDED;
        WriteStatus(printer, ended);
        // A request left with it answered a code that is gone.
        Link.deleteData(printer, SESSION_DATA_KEY, SESSION_DRUM_RESET_VALUE);
        // Its next publication comes after this one.
        Lock();
        LinkPrinter* p =
            LocalInstance != NULL ? PrinterNamed(LocalInstance, info[i].pPrinterName) : NULL;
        if (p != NULL && p->published.sequence == 0) p->published = ended;
        Unlock();
      }
      ClosePrinter(printer);
    }
  }
  LocalFree(buffer);
}

DWORD WINAPI PublisherThread(LPVOID module) {
  for (;;) {
    Lock();
    const bool sweep = SweepWanted != FALSE;
    SweepWanted = FALSE;
    Unlock();
    if (sweep) SweepLeftOvers();
    bool drumShown = false;
    // One printer at a time, the lock released for its calls; the list only grows while the
    // thread runs (Shutdown takes its instance's printers out, see EndNtPublishing).
    Lock();
    LinkPrinter* p = Printers;
    Unlock();
    while (p != NULL) {
      PublishOne(p);
      LookForDrumRequest(p);
      Lock();
      drumShown |= !p->retired && IsDrumCode(p->published.code) && !p->published.threadEnded;
      LinkPrinter* next = p->next;
      Unlock();
      p = next;
    }
    Lock();
    if (Instances == 0) {
      ThreadRunning = FALSE;
      Unlock();
      break;
    }
    Unlock();
    WaitForSingleObject(Wake, drumShown ? kDrumLookMs : INFINITE);
  }
  if (module != NULL) FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
  return 0;
}

HMODULE HoldThisModule() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(MonitorModule, path, sizeof path);
  if (n == 0 || n >= sizeof path) return NULL;
  return LoadLibraryA(path);
}

}  // namespace

void StartNtPublishing(MonitorInstance* instance) {
  EnterMonitorLock();
  if (!ListLockReady) {
    InitializeCriticalSection(&ListLock);
    Wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    // A mark of this start: the tick count and the process id, never 0.
    SpoolerStart = (GetTickCount() ^ (GetCurrentProcessId() << 16)) | 1;
    HMODULE spooler = GetModuleHandleA("winspool.drv");
    if (spooler != NULL) {
      Find(spooler, "SetPrinterDataExW", &Link.setData);
      Find(spooler, "GetPrinterDataExW", &Link.getData);
      Find(spooler, "DeletePrinterDataExW", &Link.deleteData);
      Find(spooler, "EnumPrintersW", &Link.enumPrinters);
    }
    StoreShared(&ListLockReady, 1);
  }
  LeaveMonitorLock();
  if (Wake == NULL || Link.setData == NULL || Link.getData == NULL || Link.deleteData == NULL) {
    return;
  }
  const bool local = NtInstanceOf(instance)->serverName == NULL;
  Lock();
  ++Instances;
  if (local && LocalInstance == NULL) {
    LocalInstance = instance;
    SweepWanted = TRUE;
  }
  NtInstanceOf(instance)->publishing = TRUE;
  bool start = !ThreadRunning;
  if (start) {
    // The thread's hold on the DLL: the spooler unloads a monitor after Shutdown.
    HMODULE module = HoldThisModule();
    HANDLE thread = CreateThread(NULL, 0x4000, PublisherThread, module, 0, NULL);
    if (thread != NULL) {
      ThreadRunning = TRUE;
      CloseHandle(thread);
    } else if (module != NULL) {
      FreeLibrary(module);
    }
  }
  Unlock();
  SetEvent(Wake);
}

void EndNtPublishing(MonitorInstance* instance) {
  NtInstance* nt = NtInstanceOf(instance);
  if (!nt->publishing) return;
  nt->publishing = FALSE;
  // The instance's printers leave the list; their handles are closed here, before Shutdown
  // returns, unless the publisher is in a call for one of them past the bound.
  LinkPrinter* mine = NULL;
  Lock();
  for (LinkPrinter** link = &Printers; *link != NULL;) {
    LinkPrinter* p = *link;
    if (p->instance != instance) {
      link = &p->next;
      continue;
    }
    *link = p->next;
    p->next = mine;
    mine = p;
  }
  --Instances;
  if (LocalInstance == instance) LocalInstance = NULL;
  Unlock();
  SetEvent(Wake);
  const DWORD start = GetTickCount();
  for (;;) {
    Lock();
    bool busy = false;
    for (LinkPrinter* p = mine; p != NULL; p = p->next) busy |= InCall == p;
    Unlock();
    if (!busy || GetTickCount() - start >= kCallWaitMs) break;
    Sleep(1);
  }
  while (mine != NULL) {
    LinkPrinter* p = mine;
    mine = p->next;
    Lock();
    const bool inCall = InCall == p;
    if (inCall) p->retired = TRUE;  // the publisher frees it when its call returns
    Unlock();
    if (inCall) continue;
    if (p->printer != NULL) ClosePrinter(p->printer);
    FreePrinter(p);
  }
}

void AnnounceNtPrinter(PortRecord* port) {
  const WCHAR* name = NtPortOf(port)->printerName;
  if (name == NULL || !ListLockReady) return;
  Lock();
  LinkPrinter* p = Instances != 0 ? PrinterNamed(port->instance, name) : NULL;
  const bool announce = p != NULL && p->published.sequence == 0 && p->pendingCount == 0 &&
                        Queue(p, SESSION_RECENT_ENDED, 0);
  Unlock();
  if (announce) SetEvent(Wake);
}

void ShowCodeAsPrinterData(PortRecord* port, DWORD code) {
  NtPort* nt = NtPortOf(port);
  // Each printer of the spooler has its own model and its own repeat memory.
  if (!IsShownRepeat(&port->lastRepeatCode, code)) {
    Want(port->instance, nt->printerName, code, LoadShared(&port->modelNumber), 0);
    nt->shown = TRUE;
  }
  AfterCodeShown(&port->lastRepeatCode, code);
}

namespace {
struct Ending {
  const MonitorInstance* instance;
  DWORD model;
  WCHAR* printer;
};
}  // namespace

void* ThreadEndingAsPrinterData(PortRecord* port) {
  NtPort* nt = NtPortOf(port);
  if (!nt->shown) return NULL;
  nt->shown = FALSE;
  // The record may be gone when the end is published.
  Ending* ending = static_cast<Ending*>(LocalAlloc(LMEM_FIXED, sizeof(Ending)));
  if (ending == NULL) return NULL;
  ending->instance = port->instance;
  ending->model = LoadShared(&port->modelNumber);
  ending->printer = CopyWide(nt->printerName);
  return ending;
}

void ThreadEndedAsPrinterData(void* parameter) {
  Ending* ending = static_cast<Ending*>(parameter);
  Want(ending->instance, ending->printer, 0, ending->model, 1);
  FreeWide(ending->printer);
  LocalFree(ending);
}
