// EnumPrintersW and EnumJobsW of the reader: the records at the buffer's start, their strings
// packed at its end, as the spooler fills a caller's buffer; a buffer too small gets nothing
// but the size needed (ERROR_INSUFFICIENT_BUFFER).
#include <windows.h>
#include <winspool.h>
#include <string.h>

#include "printer_reader.h"
#include "printer_store.h"

namespace {

// Strings go below end; with buffer NULL they are only counted.
struct Packer {
  BYTE* buffer;
  DWORD end;
  DWORD strings;
};

WCHAR* Pack(Packer* p, const WCHAR* s) {
  if (s == NULL) return NULL;
  const DWORD n = (lstrlenW(s) + 1) * sizeof(WCHAR);
  p->strings += n;
  if (p->buffer == NULL) return NULL;
  p->end -= n;
  memcpy(p->buffer + p->end, s, n);
  return reinterpret_cast<WCHAR*>(p->buffer + p->end);
}

template <typename Info>
DWORD Place(const Info& info, BYTE* at) {
  if (at) memcpy(at, &info, sizeof info);
  return sizeof info;
}

// One printer's record at at (NULL: only counted); its size.
DWORD FillPrinter(DWORD level, const StoreListed& e, Packer* p, BYTE* at) {
  const bool network = e.server[0] != 0;
  const DWORD attributes = network ? PRINTER_ATTRIBUTE_NETWORK : PRINTER_ATTRIBUTE_LOCAL;
  const WCHAR* server = network ? e.server : NULL;
  if (level == 1) {
    PRINTER_INFO_1W info = {};
    info.Flags = PRINTER_ENUM_ICON8;
    info.pDescription = Pack(p, e.name);
    info.pName = Pack(p, e.name);
    info.pComment = Pack(p, L"");
    return Place(info, at);
  }
  if (level == 2) {
    PRINTER_INFO_2W info = {};
    info.pServerName = Pack(p, server);
    info.pPrinterName = Pack(p, e.name);
    info.Attributes = attributes;
    info.Priority = 1;
    info.Status = e.status;
    info.cJobs = e.jobs;
    return Place(info, at);
  }
  PRINTER_INFO_4W info = {};
  info.pPrinterName = Pack(p, e.name);
  info.pServerName = Pack(p, server);
  info.Attributes = attributes;
  return Place(info, at);
}

DWORD FillJob(const WCHAR* printer, const StoreJob& job, DWORD position, Packer* p, BYTE* at) {
  JOB_INFO_1W info = {};
  info.JobId = job.id;
  info.pPrinterName = Pack(p, printer);
  info.pMachineName = Pack(p, job.machine);
  info.pUserName = Pack(p, job.owner);
  info.pDocument = Pack(p, job.document);
  info.pDatatype = Pack(p, L"RAW");
  info.Status = job.status;
  info.Priority = 1;
  info.Position = position;
  info.TotalPages = job.pages;
  info.Submitted = job.submitted;
  return Place(info, at);
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

BOOL ReaderEnumPrinters(DWORD flags, const WCHAR* name, DWORD level, BYTE* buffer, DWORD size,
                        DWORD* needed, DWORD* returned, bool own) {
  if (needed == NULL || returned == NULL) return Fail(ERROR_INVALID_PARAMETER);
  *needed = *returned = 0;
  if (level != 1 && level != 2 && level != 4) return Fail(ERROR_INVALID_LEVEL);
  if (name != NULL && name[0] != 0) return Fail(ERROR_INVALID_NAME);  // no other servers here
  DWORD error = StoreSpoolerRunning();
  if (error != ERROR_SUCCESS) return Fail(error);
  static StoreListed list[STORE_MAX_PRINTERS * 2];
  static SRWLOCK lock = SRWLOCK_INIT;
  AcquireSRWLockExclusive(&lock);
  const uint32_t count =
      StoreListPrinters((flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME)) != 0,
                        (flags & PRINTER_ENUM_CONNECTIONS) != 0, own, list, STORE_MAX_PRINTERS * 2);
  Packer counted = {NULL, 0, 0};
  DWORD fixed = 0;
  for (uint32_t i = 0; i < count; ++i) fixed += FillPrinter(level, list[i], &counted, NULL);
  *needed = fixed + counted.strings;
  bool fits = (buffer != NULL || *needed == 0) && size >= *needed;
  if (fits && buffer) {
    Packer p = {buffer, size & ~1u, 0};
    BYTE* at = buffer;
    for (uint32_t i = 0; i < count; ++i) at += FillPrinter(level, list[i], &p, at);
    *returned = count;
  }
  ReleaseSRWLockExclusive(&lock);
  return fits ? TRUE : Fail(ERROR_INSUFFICIENT_BUFFER);
}

BOOL ReaderEnumJobs(HANDLE printer, DWORD first, DWORD count, DWORD level, BYTE* buffer, DWORD size,
                    DWORD* needed, DWORD* returned) {
  if (needed == NULL || returned == NULL) return Fail(ERROR_INVALID_PARAMETER);
  *needed = *returned = 0;
  ReaderPrinter p;
  DWORD error = ReaderLookUp(printer, &p);
  if (error != ERROR_SUCCESS) return Fail(error);
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  static StoreJob jobs[STORE_MAX_JOBS];
  static SRWLOCK lock = SRWLOCK_INIT;
  AcquireSRWLockExclusive(&lock);
  const uint32_t all = StoreListJobs(p.printer, jobs, STORE_MAX_JOBS);
  const uint32_t from = first < all ? first : all;
  const uint32_t to = count < all - from ? from + count : all;
  Packer counted = {NULL, 0, 0};
  DWORD fixed = 0;
  for (uint32_t i = from; i < to; ++i) fixed += FillJob(p.printer, jobs[i], i + 1, &counted, NULL);
  *needed = fixed + counted.strings;
  bool fits = (buffer != NULL || *needed == 0) && size >= *needed;
  if (fits && buffer) {
    Packer w = {buffer, size & ~1u, 0};
    BYTE* at = buffer;
    for (uint32_t i = from; i < to; ++i) at += FillJob(p.printer, jobs[i], i + 1, &w, at);
  }
  if (fits) *returned = to - from;
  ReleaseSRWLockExclusive(&lock);
  return fits ? TRUE : Fail(ERROR_INSUFFICIENT_BUFFER);
}
