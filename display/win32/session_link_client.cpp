// The program's side of the NT display link (session_link.h): the status board mapped for
// reading, a thread that waits for each publication and tells the main window, and the drum
// reset requests to the ports of the printer on display. The functions only NT has are found at
// run time, so the program still starts on the Windows 95 generation (without this link).
#include "program.h"

#include "session_link.h"
#include "session_reader.h"

namespace {

struct SessionFunctions {
  HANDLE(WINAPI* openFileMapping)(DWORD access, BOOL inherit, LPCWSTR name);
  HANDLE(WINAPI* openEvent)(DWORD access, BOOL inherit, LPCWSTR name);
};

SessionFunctions Functions = {};
HANDLE Section = NULL;
const SessionBoard* Board = NULL;
HANDLE StopEvent = NULL;
HANDLE Listener = NULL;
SessionReader Reader = {};

uint32_t LoadNumber(const uint32_t* field) {
  return __atomic_load_n(field, __ATOMIC_ACQUIRE);
}

HANDLE OpenNumberedEvent(DWORD access, const wchar_t* prefix, uint32_t n) {
  wchar_t name[SESSION_NAME_ROOM];
  SessionObjectName(prefix, n, name);
  return Functions.openEvent(access, FALSE, name);
}

// How long the link waits before it looks again for a monitor that has gone (a spooler stopped
// while no display program waited); a monitor that comes back goes on with the same board.
const DWORD kMonitorGoneRetryMs = 10000;

// Waits for each publication without polling: the event of the one after the latest is opened
// and waited on; the monitor sets it when that publication is on the board (and holds it open
// until then). When it cannot be opened and the board has not moved on, no monitor is there.
DWORD WINAPI ListenThread(LPVOID parameter) {
  HWND window = static_cast<HWND>(parameter);
  for (;;) {
    const uint32_t seen = LoadNumber(&Board->sequence);
    HANDLE change =
        OpenNumberedEvent(SYNCHRONIZE, SESSION_CHANGE_EVENT_PREFIX, SessionNextNumber(seen));
    if (change == NULL) {
      if (LoadNumber(&Board->sequence) == seen &&
          WaitForSingleObject(StopEvent, kMonitorGoneRetryMs) == WAIT_OBJECT_0) {
        return 0;
      }
    } else {
      if (LoadNumber(&Board->sequence) == seen) {
        HANDLE waits[2] = {change, StopEvent};
        const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (which != WAIT_OBJECT_0) {
          CloseHandle(change);
          return 0;
        }
      }
      CloseHandle(change);
    }
    PostMessageA(window, DLM_SESSION_CHANGED, 0, 0);
  }
}

template <typename F>
void Find(const char* name, F* slot) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  *slot =
      kernel ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : NULL;
}

}  // namespace

BOOL OpenSessionLink(HWND window) {
  Find("OpenFileMappingW", &Functions.openFileMapping);
  Find("OpenEventW", &Functions.openEvent);
  if (Functions.openFileMapping == NULL || Functions.openEvent == NULL) return FALSE;
  Section = Functions.openFileMapping(FILE_MAP_READ, FALSE, SESSION_BOARD_NAME);
  if (Section == NULL) return FALSE;
  Board = static_cast<const SessionBoard*>(
      MapViewOfFile(Section, FILE_MAP_READ, 0, 0, sizeof(SessionBoard)));
  StopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
  if (Board != NULL && SessionBoardUsable(Board) && StopEvent != NULL) {
    Listener = CreateThread(NULL, 0, ListenThread, window, 0, NULL);
  }
  if (Listener == NULL) {
    CloseSessionLink();
    return FALSE;
  }
  // The board's state now: a code published before this program started is shown.
  PostMessageA(window, DLM_SESSION_CHANGED, 0, 0);
  return TRUE;
}

void CloseSessionLink(void) {
  if (Listener != NULL) {
    SetEvent(StopEvent);
    WaitForSingleObject(Listener, INFINITE);
    CloseHandle(Listener);
    Listener = NULL;
  }
  if (StopEvent != NULL) CloseHandle(StopEvent);
  if (Board != NULL) UnmapViewOfFile(Board);
  if (Section != NULL) CloseHandle(Section);
  StopEvent = Section = NULL;
  Board = NULL;
}

UINT ReadSessionEntries(SessionEntry* entries, UINT room) {
  return Board != NULL ? SessionReadNew(Board, &Reader, entries, room) : 0;
}

BOOL SessionDrumResetPending(const uint16_t* printer) {
  BOOL slots[SESSION_PORTS];
  if (Board == NULL || SessionPortsOf(Board, printer, slots) == 0) return FALSE;
  BOOL pending = FALSE;
  for (uint32_t i = 0; i < SESSION_PORTS && !pending; ++i) {
    if (!slots[i]) continue;
    HANDLE event = OpenNumberedEvent(SYNCHRONIZE, SESSION_DRUM_EVENT_PREFIX, i);
    if (event == NULL) continue;
    pending = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    CloseHandle(event);
  }
  return pending;
}

BOOL SessionRequestDrumReset(const uint16_t* printer) {
  BOOL slots[SESSION_PORTS];
  if (Board == NULL || SessionPortsOf(Board, printer, slots) == 0) return FALSE;
  BOOL requested = FALSE;
  for (uint32_t i = 0; i < SESSION_PORTS; ++i) {
    if (!slots[i]) continue;
    HANDLE event = OpenNumberedEvent(EVENT_MODIFY_STATE, SESSION_DRUM_EVENT_PREFIX, i);
    if (event == NULL) continue;
    requested |= SetEvent(event);
    CloseHandle(event);
  }
  return requested;
}
