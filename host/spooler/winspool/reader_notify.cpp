// The reader's change notifications: a manual-reset named event of this process per
// notification, registered as a watcher of the printer in the store, which the spooler's
// process sets (printer_reader.h).
#include <windows.h>
#include <winspool.h>
#include <stdio.h>

#include "printer_reader.h"
#include "printer_store.h"

namespace {

enum { MAX_CHANGES = 32, EVENT_ROOM = 64 };

struct Change {
  HANDLE event;  // NULL: free
  WCHAR eventName[EVENT_ROOM];
  ReaderPrinter p;
};

Change Changes[MAX_CHANGES];
SRWLOCK Lock = SRWLOCK_INIT;
LONG volatile Made = 0;

// The notification of handle change, copied; false when there is none.
bool Find(HANDLE change, Change* out) {
  bool found = false;
  AcquireSRWLockShared(&Lock);
  for (int i = 0; i < MAX_CHANGES && !found; ++i) {
    if (change != NULL && Changes[i].event == change) {
      *out = Changes[i];
      found = true;
    }
  }
  ReleaseSRWLockShared(&Lock);
  return found;
}

}  // namespace

HANDLE ReaderFindFirstChange(HANDLE printer, DWORD filter, DWORD /*options*/, void* notifyOptions) {
  Change c = {};
  DWORD error = ReaderLookUp(printer, &c.p);
  if (error == ERROR_SUCCESS && (filter == 0 || notifyOptions != NULL))
    error = ERROR_INVALID_PARAMETER;  // only the filter's form of notification here
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  swprintf(c.eventName, EVENT_ROOM, L"QVL Stand-in Printer Change %lu.%ld", GetCurrentProcessId(),
           InterlockedIncrement(&Made));
  c.event = CreateEventW(NULL, TRUE, FALSE, c.eventName);
  if (c.event == NULL) return INVALID_HANDLE_VALUE;
  AcquireSRWLockExclusive(&Lock);
  int slot = 0;
  while (slot < MAX_CHANGES && Changes[slot].event != NULL) ++slot;
  if (slot < MAX_CHANGES) Changes[slot] = c;
  ReleaseSRWLockExclusive(&Lock);
  if (slot == MAX_CHANGES || !StoreWatch(c.p.printer, c.eventName, filter)) {
    if (slot < MAX_CHANGES) Changes[slot].event = NULL;
    CloseHandle(c.event);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  return c.event;
}

bool ReaderChangeHandle(HANDLE change) {
  Change c;
  return Find(change, &c);
}

BOOL ReaderFindNextChange(HANDLE change, DWORD* changes, void* /*notifyOptions*/,
                          void** notifyInfo) {
  Change c;
  if (notifyInfo) *notifyInfo = NULL;
  if (!Find(change, &c)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const StoreProcess owner = {c.p.ownerPid, c.p.ownerStart};
  DWORD error = StoreStillServed(c.p.printer, owner);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  ResetEvent(change);  // first: a change after it sets the event again
  const DWORD taken = StoreWatchTake(c.p.printer, c.eventName);
  if (changes) *changes = taken;
  return TRUE;
}

BOOL ReaderFindCloseChange(HANDLE change) {
  Change c;
  if (!Find(change, &c)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  AcquireSRWLockExclusive(&Lock);
  for (int i = 0; i < MAX_CHANGES; ++i) {
    if (Changes[i].event == change) Changes[i].event = NULL;
  }
  ReleaseSRWLockExclusive(&Lock);
  StoreUnwatch(c.p.printer, c.eventName);
  CloseHandle(change);
  return TRUE;
}
