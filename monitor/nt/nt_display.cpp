// The NT face's display link: the status board and its events in the global namespace
// (session_link.h), made once per process with security descriptors that let signed-in users
// read and wait, and set the drum reset events, and no more. The functions only NT has are
// found at run time, so the DLL still loads on the Windows 95 generation.
#include "identify.h"
#include "notify_display.h"
#include "nt_monitor.h"
#include "session_board.h"

namespace {

struct LinkFunctions {
  HANDLE(WINAPI* createFileMapping)
  (HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
   LPCWSTR name);
  HANDLE(WINAPI* createEvent)
  (LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCWSTR name);
  HANDLE(WINAPI* createMutex)(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCWSTR name);
  BOOL(WINAPI* securityDescriptorFromString)
  (LPCWSTR text, DWORD revision, PSECURITY_DESCRIPTOR* descriptor, PULONG size);
};

// All of it made once, under the monitor lock, by the first instance; the board written under
// BoardLock, a mutex that monitors in other processes take too.
bool LinkTried = false;
LinkFunctions Link = {};
HANDLE BoardLock = NULL;
HANDLE BoardSection = NULL;
SessionBoard* Board = NULL;
HANDLE NextChange = NULL;  // the change event of the publication after the latest
SECURITY_ATTRIBUTES ChangeSecurity = {};
SECURITY_ATTRIBUTES DrumSecurity = {};

const DWORD kSddlRevision = 1;  // SDDL_REVISION_1

template <typename F>
void Find(const char* module, const char* name, F* slot) {
  HMODULE m = GetModuleHandleA(module);
  *slot = m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : NULL;
}

// A descriptor from its SDDL text; none (NULL) when the system cannot make it: the object then
// gets the default security of the service's objects, which users cannot open at all.
void MakeSecurity(LPCWSTR sddl, SECURITY_ATTRIBUTES* out) {
  out->nLength = sizeof *out;
  out->bInheritHandle = FALSE;
  out->lpSecurityDescriptor = NULL;
  PSECURITY_DESCRIPTOR descriptor = NULL;
  if (Link.securityDescriptorFromString &&
      Link.securityDescriptorFromString(sddl, kSddlRevision, &descriptor, NULL)) {
    out->lpSecurityDescriptor = descriptor;
  }
}

// The board lock is held only while the board is written, by monitors of this and other
// processes; a wait for it is bounded all the same, and a board that stays locked longer is
// left unwritten (the display programs miss that publication, the port keeps working).
const DWORD kBoardLockWaitMs = 2000;

bool LockBoard() {
  // A monitor that ended holding it gave it up (WAIT_ABANDONED): the lock is ours then too.
  const DWORD result = WaitForSingleObject(BoardLock, kBoardLockWaitMs);
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}
void UnlockBoard() {
  ReleaseMutex(BoardLock);
}

// Whether the monitor process owner still runs (its port slots then stay).
bool OwnerAlive(uint32_t owner) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, owner);
  if (process == NULL) return false;
  const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

// Opens (or makes) the change event of publication n.
HANDLE CreateChangeEvent(DWORD n) {
  WCHAR name[SESSION_NAME_ROOM];
  SessionObjectName(SESSION_CHANGE_EVENT_PREFIX, n, name);
  return Link.createEvent(&ChangeSecurity, TRUE, FALSE, name);
}

const uint16_t* Utf16(const WCHAR* text) {
  return reinterpret_cast<const uint16_t*>(text);
}

// One publication, and the wake of every reader waiting for it (BoardLock held). Its event is
// opened by name (a monitor in another process may have made it); the event of the one after
// it is made first and kept open, so a reader that sees this number can always open it.
void Publish(uint32_t kind, DWORD code, DWORD model, const WCHAR* printer) {
  const DWORD n = SessionNextNumber(LoadShared(&Board->sequence));
  HANDLE now = CreateChangeEvent(n);
  HANDLE after = CreateChangeEvent(SessionNextNumber(n));
  SessionPublish(Board, kind, code, model, Utf16(printer));
  if (now != NULL) {
    SetEvent(now);
    CloseHandle(now);
  }
  if (NextChange != NULL) CloseHandle(NextChange);
  NextChange = after;
}

}  // namespace

bool OpenSessionBoard() {
  EnterMonitorLock();
  if (!LinkTried) {
    LinkTried = true;
    Find("kernel32.dll", "CreateFileMappingW", &Link.createFileMapping);
    Find("kernel32.dll", "CreateEventW", &Link.createEvent);
    Find("kernel32.dll", "CreateMutexW", &Link.createMutex);
    Find("advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorW",
         &Link.securityDescriptorFromString);
    if (Link.createFileMapping && Link.createEvent && Link.createMutex) {
      SECURITY_ATTRIBUTES boardSecurity, lockSecurity;
      MakeSecurity(SESSION_LOCK_SDDL, &lockSecurity);
      BoardLock = Link.createMutex(&lockSecurity, FALSE, SESSION_LOCK_NAME);
      if (lockSecurity.lpSecurityDescriptor) LocalFree(lockSecurity.lpSecurityDescriptor);
      MakeSecurity(SESSION_BOARD_SDDL, &boardSecurity);
      MakeSecurity(SESSION_CHANGE_SDDL, &ChangeSecurity);
      MakeSecurity(SESSION_DRUM_SDDL, &DrumSecurity);
      BoardSection = Link.createFileMapping(INVALID_HANDLE_VALUE, &boardSecurity, PAGE_READWRITE, 0,
                                            sizeof(SessionBoard), SESSION_BOARD_NAME);
      if (boardSecurity.lpSecurityDescriptor) LocalFree(boardSecurity.lpSecurityDescriptor);
      if (BoardSection != NULL && BoardLock != NULL) {
        Board = static_cast<SessionBoard*>(MapViewOfFile(BoardSection, FILE_MAP_WRITE, 0, 0, 0));
      }
      if (Board != NULL) {
        // A board that display programs kept through a restart of the spooler goes on from its
        // number; their waits are on the event made here, which they hold open.
        if (LockBoard()) {
          SessionBoardReady(Board, OwnerAlive);
          NextChange = CreateChangeEvent(SessionNextNumber(LoadShared(&Board->sequence)));
          UnlockBoard();
        }
      }
    }
  }
  const bool ready = Board != NULL;
  LeaveMonitorLock();
  return ready;
}

void CloseSessionBoard() {
  if (Board != NULL) UnmapViewOfFile(Board);
  if (BoardSection != NULL) CloseHandle(BoardSection);
  if (NextChange != NULL) CloseHandle(NextChange);
  if (BoardLock != NULL) CloseHandle(BoardLock);
  Board = NULL;
  BoardSection = NextChange = BoardLock = NULL;
}

void ShowCodeOnBoard(PortRecord* port, DWORD code) {
  if (Board == NULL) return;
  NtPort* nt = NtPortOf(port);
  if (!LockBoard()) return;
  // Each printer of the spooler has its own model and its own repeat memory.
  if (!IsShownRepeat(&port->lastRepeatCode, code)) {
    Publish(SESSION_STATUS_CODE, code, LoadShared(&port->modelNumber), nt->printerName);
    nt->shown = TRUE;
  }
  AfterCodeShown(&port->lastRepeatCode, code);
  UnlockBoard();
}

void* ThreadEndingOnBoard(PortRecord* port) {
  NtPort* nt = NtPortOf(port);
  if (Board == NULL || !nt->shown) return NULL;
  nt->shown = FALSE;
  return CopyWide(nt->printerName);  // the record may be gone when the end is published
}

void ThreadEndedOnBoard(void* printer) {
  if (LockBoard()) {
    Publish(SESSION_THREAD_ENDED, 0, 0, static_cast<const WCHAR*>(printer));
    UnlockBoard();
  }
  FreeWide(static_cast<WCHAR*>(printer));
}

void ClaimSessionSlot(PortRecord* port) {
  NtPort* nt = NtPortOf(port);
  nt->slot = -1;
  if (Board == NULL || !LockBoard()) return;
  nt->slot = SessionClaimPort(Board, Utf16(nt->printerName), GetCurrentProcessId());
  if (nt->slot >= 0) {
    WCHAR name[SESSION_NAME_ROOM];
    SessionObjectName(SESSION_DRUM_EVENT_PREFIX, static_cast<uint32_t>(nt->slot), name);
    nt->drumEvent = Link.createEvent(&DrumSecurity, TRUE, FALSE, name);
  }
  UnlockBoard();
}

void RenameSessionSlot(PortRecord* port) {
  NtPort* nt = NtPortOf(port);
  if (Board == NULL || nt->slot < 0 || !LockBoard()) return;
  SessionRenamePort(Board, nt->slot, Utf16(nt->printerName));
  UnlockBoard();
}

void ReleaseSessionSlot(PortRecord* port) {
  NtPort* nt = NtPortOf(port);
  if (Board == NULL || nt->slot < 0) return;
  if (LockBoard()) {
    SessionReleasePort(Board, nt->slot);
    UnlockBoard();
  }
  if (nt->drumEvent != NULL) CloseHandle(nt->drumEvent);
  nt->drumEvent = NULL;
  nt->slot = -1;
}

HANDLE OpenPortDrumRequest(PortRecord* port) {
  NtPort* nt = NtPortOf(port);
  HANDLE own = NULL;
  if (nt->drumEvent == NULL ||
      !DuplicateHandle(GetCurrentProcess(), nt->drumEvent, GetCurrentProcess(), &own, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return NULL;
  }
  ResetEvent(own);  // a request made before this thread started is discarded
  return own;
}
