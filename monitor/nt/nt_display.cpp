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
  BOOL(WINAPI* securityDescriptorFromString)
  (LPCWSTR text, DWORD revision, PSECURITY_DESCRIPTOR* descriptor, PULONG size);
};

// All of it made once, under the monitor lock, by the first instance; written under BoardLock.
bool LinkTried = false;
LinkFunctions Link = {};
CRITICAL_SECTION BoardLock;
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

HANDLE CreateChangeEvent(DWORD n) {
  WCHAR name[SESSION_NAME_ROOM];
  SessionObjectName(SESSION_CHANGE_EVENT_PREFIX, n, name);
  return Link.createEvent(&ChangeSecurity, TRUE, FALSE, name);
}

const uint16_t* Utf16(const WCHAR* text) {
  return reinterpret_cast<const uint16_t*>(text);
}

// One publication, and the wake of every reader waiting for it (BoardLock held). The event of
// the one after it is made first, so a reader that sees this number can always open it.
void Publish(uint32_t kind, DWORD code, DWORD model, const WCHAR* printer) {
  const DWORD n = SessionNextNumber(LoadShared(&Board->sequence));
  HANDLE after = CreateChangeEvent(SessionNextNumber(n));
  SessionPublish(Board, kind, code, model, Utf16(printer));
  if (NextChange != NULL) {
    SetEvent(NextChange);
    CloseHandle(NextChange);
  }
  NextChange = after;
}

}  // namespace

bool OpenSessionBoard() {
  EnterMonitorLock();
  if (!LinkTried) {
    LinkTried = true;
    Find("kernel32.dll", "CreateFileMappingW", &Link.createFileMapping);
    Find("kernel32.dll", "CreateEventW", &Link.createEvent);
    Find("advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorW",
         &Link.securityDescriptorFromString);
    if (Link.createFileMapping && Link.createEvent) {
      InitializeCriticalSection(&BoardLock);
      SECURITY_ATTRIBUTES boardSecurity;
      MakeSecurity(SESSION_BOARD_SDDL, &boardSecurity);
      MakeSecurity(SESSION_CHANGE_SDDL, &ChangeSecurity);
      MakeSecurity(SESSION_DRUM_SDDL, &DrumSecurity);
      BoardSection = Link.createFileMapping(INVALID_HANDLE_VALUE, &boardSecurity, PAGE_READWRITE, 0,
                                            sizeof(SessionBoard), SESSION_BOARD_NAME);
      if (boardSecurity.lpSecurityDescriptor) LocalFree(boardSecurity.lpSecurityDescriptor);
      if (BoardSection != NULL) {
        Board = static_cast<SessionBoard*>(MapViewOfFile(BoardSection, FILE_MAP_WRITE, 0, 0, 0));
      }
      if (Board != NULL) {
        // A board that display programs kept through a restart of the spooler goes on from its
        // number; their waits are on the event made here, which they hold open.
        SessionBoardReady(Board);
        NextChange = CreateChangeEvent(SessionNextNumber(LoadShared(&Board->sequence)));
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
  Board = NULL;
  BoardSection = NextChange = NULL;
}

void ShowCodeOnBoard(PortRecord* port, DWORD code) {
  if (Board == NULL) return;
  NtPort* nt = NtPortOf(port);
  EnterCriticalSection(&BoardLock);
  if (!IsShownRepeat(code)) {
    Publish(SESSION_STATUS_CODE, code, LoadShared(&IdentifiedModelNumber), nt->printerName);
    nt->shown = TRUE;
  }
  AfterCodeShown(code);
  LeaveCriticalSection(&BoardLock);
}

BOOL ThreadEndedOnBoard(PortRecord* port) {
  NtPort* nt = NtPortOf(port);
  if (Board == NULL || !nt->shown) return FALSE;
  EnterCriticalSection(&BoardLock);
  Publish(SESSION_THREAD_ENDED, 0, 0, nt->printerName);
  nt->shown = FALSE;
  LeaveCriticalSection(&BoardLock);
  return FALSE;  // no window of the display program to post to on this face
}

void ClaimSessionSlot(PortRecord* port) {
  NtPort* nt = NtPortOf(port);
  nt->slot = -1;
  if (Board == NULL) return;
  EnterCriticalSection(&BoardLock);
  nt->slot = SessionClaimPort(Board, Utf16(nt->printerName));
  if (nt->slot >= 0) {
    WCHAR name[SESSION_NAME_ROOM];
    SessionObjectName(SESSION_DRUM_EVENT_PREFIX, static_cast<uint32_t>(nt->slot), name);
    nt->drumEvent = Link.createEvent(&DrumSecurity, TRUE, FALSE, name);
  }
  LeaveCriticalSection(&BoardLock);
}

void RenameSessionSlot(PortRecord* port) {
  NtPort* nt = NtPortOf(port);
  if (Board == NULL || nt->slot < 0) return;
  EnterCriticalSection(&BoardLock);
  SessionRenamePort(Board, nt->slot, Utf16(nt->printerName));
  LeaveCriticalSection(&BoardLock);
}

void ReleaseSessionSlot(PortRecord* port) {
  NtPort* nt = NtPortOf(port);
  if (Board == NULL || nt->slot < 0) return;
  EnterCriticalSection(&BoardLock);
  SessionReleasePort(Board, nt->slot);
  LeaveCriticalSection(&BoardLock);
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
