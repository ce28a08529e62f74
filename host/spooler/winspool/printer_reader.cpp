// The reader's printer handles, OpenPrinterW and the printer data functions (printer_reader.h).
#include "printer_reader.h"

#include <winspool.h>

#include "printer_store.h"

namespace {

enum : uintptr_t { HANDLE_BASE = 0x6150, MAX_HANDLES = 64 };  // qvlspool's are 0x5150 on

struct Slot {
  bool used;
  ReaderPrinter p;
};

Slot Slots[MAX_HANDLES];
SRWLOCK Lock = SRWLOCK_INIT;

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The rights an access mask asks for, as PRINTER_ACCESS_ bits.
DWORD Asked(DWORD desired) {
  DWORD rights = 0;
  if (desired & (PRINTER_ACCESS_ADMINISTER | GENERIC_ALL | GENERIC_WRITE))
    rights |= PRINTER_ACCESS_ADMINISTER;
  if (desired & (PRINTER_ACCESS_USE | GENERIC_ALL | GENERIC_READ | GENERIC_EXECUTE))
    rights |= PRINTER_ACCESS_USE;
  return rights;
}

}  // namespace

bool ReaderHandle(HANDLE printer) {
  uintptr_t v = reinterpret_cast<uintptr_t>(printer);
  return v >= HANDLE_BASE && v < HANDLE_BASE + MAX_HANDLES;
}

DWORD ReaderLookUp(HANDLE printer, ReaderPrinter* out) {
  if (!ReaderHandle(printer)) return ERROR_INVALID_HANDLE;
  AcquireSRWLockShared(&Lock);
  const Slot& s = Slots[reinterpret_cast<uintptr_t>(printer) - HANDLE_BASE];
  bool used = s.used;
  if (used) *out = s.p;
  ReleaseSRWLockShared(&Lock);
  if (!used) return ERROR_INVALID_HANDLE;
  const StoreProcess owner = {out->ownerPid, out->ownerStart};
  return StoreStillServed(out->printer, owner);
}

BOOL ReaderOpenPrinter(const WCHAR* name, HANDLE* printer, const void* defaults) {
  if (printer == NULL) return Fail(ERROR_INVALID_PARAMETER);
  *printer = NULL;
  const PRINTER_DEFAULTSW* d = static_cast<const PRINTER_DEFAULTSW*>(defaults);
  const DWORD asked = Asked(d && d->DesiredAccess ? d->DesiredAccess : PRINTER_ACCESS_USE);
  ReaderPrinter p = {};
  StoreProcess owner = {};
  uint32_t denied = 0;
  DWORD error = StoreFindPrinter(name, p.printer, &owner, &denied);
  if (error != ERROR_SUCCESS) return Fail(error);
  if (((asked & PRINTER_ACCESS_USE) && (denied & STORE_DENY_USE)) ||
      ((asked & PRINTER_ACCESS_ADMINISTER) && (denied & STORE_DENY_ADMINISTER))) {
    return Fail(ERROR_ACCESS_DENIED);
  }
  p.access = asked;
  p.ownerPid = owner.pid;
  p.ownerStart = owner.start;
  AcquireSRWLockExclusive(&Lock);
  uintptr_t slot = 0;
  while (slot < MAX_HANDLES && Slots[slot].used) ++slot;
  if (slot < MAX_HANDLES) {
    Slots[slot].used = true;
    Slots[slot].p = p;
  }
  ReleaseSRWLockExclusive(&Lock);
  if (slot == MAX_HANDLES) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  *printer = reinterpret_cast<HANDLE>(HANDLE_BASE + slot);
  return TRUE;
}

BOOL ReaderClosePrinter(HANDLE printer) {
  if (!ReaderHandle(printer)) return Fail(ERROR_INVALID_HANDLE);
  AcquireSRWLockExclusive(&Lock);
  Slot& s = Slots[reinterpret_cast<uintptr_t>(printer) - HANDLE_BASE];
  bool used = s.used;
  s.used = false;
  ReleaseSRWLockExclusive(&Lock);
  return used ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

DWORD ReaderGetPrinterDataEx(HANDLE printer, const WCHAR* key, const WCHAR* value, DWORD* type,
                             BYTE* data, DWORD size, DWORD* needed) {
  ReaderPrinter p;
  DWORD error = ReaderLookUp(printer, &p);
  if (error != ERROR_SUCCESS) return error;
  return StoreGetData(p.printer, key, value, type, data, size, needed);
}

DWORD ReaderSetPrinterDataEx(HANDLE printer, const WCHAR* key, const WCHAR* value, DWORD type,
                             const BYTE* data, DWORD size) {
  ReaderPrinter p;
  DWORD error = ReaderLookUp(printer, &p);
  if (error != ERROR_SUCCESS) return error;
  if (!(p.access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
  return StoreSetData(p.printer, key, value, type, data, size);
}

DWORD ReaderDeletePrinterDataEx(HANDLE printer, const WCHAR* key, const WCHAR* value) {
  ReaderPrinter p;
  DWORD error = ReaderLookUp(printer, &p);
  if (error != ERROR_SUCCESS) return error;
  if (!(p.access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
  return StoreDeleteData(p.printer, key, value);
}
