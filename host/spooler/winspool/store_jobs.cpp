// The printers' queues in the store: a key per job under the printer's Jobs, queue order kept
// by a number the printer hands out.
#include <windows.h>
#include <winspool.h>
#include <stdio.h>

#include "printer_store.h"
#include "store_keys.h"

namespace {

void WriteText(HKEY key, const WCHAR* value, const WCHAR* text) {
  RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 (lstrlenW(text) + 1) * sizeof(WCHAR));
}

void ReadText(HKEY key, const WCHAR* value, WCHAR* text) {
  DWORD type = 0, size = STORE_NAME_ROOM * sizeof(WCHAR);
  if (RegQueryValueExW(key, value, NULL, &type, reinterpret_cast<BYTE*>(text), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    text[0] = 0;
  }
  text[STORE_NAME_ROOM - 1] = 0;
}

void WriteDword(HKEY key, const WCHAR* value, DWORD v) {
  RegSetValueExW(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

}  // namespace

bool StoreAddJob(const WCHAR* printer, const StoreJob& job) {
  WCHAR id[16];
  swprintf(id, 16, L"%lu", job.id);
  StoreEnter();
  HKEY p = StoreKey(PrinterPath(printer), false);
  HKEY key = NULL;
  if (p && RegCreateKeyExW(p, (std::wstring(L"Jobs\\") + id).c_str(), 0, NULL, 0,
                           KEY_ALL_ACCESS | STORE_VIEW, NULL, &key, NULL) == ERROR_SUCCESS) {
    const DWORD order = StoreDword(p, L"Job Order", 0) + 1;
    WriteDword(p, L"Job Order", order);
    WriteDword(key, L"Order", order);
    WriteDword(key, L"Status", job.status);
    WriteDword(key, L"Pages", job.pages);
    RegSetValueExW(key, L"Submitted", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&job.submitted),
                   sizeof job.submitted);
    WriteText(key, L"Document", job.document);
    WriteText(key, L"Owner", job.owner);
    WriteText(key, L"Machine", job.machine);
    RegCloseKey(key);
    StoreSignal(printer, PRINTER_CHANGE_ADD_JOB);
  }
  if (p) RegCloseKey(p);
  StoreLeave();
  return key != NULL;
}

void StoreRemoveJob(const WCHAR* printer, DWORD id) {
  WCHAR name[16];
  swprintf(name, 16, L"%lu", id);
  StoreEnter();
  HKEY jobs = StoreKey(PrinterPath(printer, L"Jobs"), false);
  if (jobs && RegDeleteTreeW(jobs, name) == ERROR_SUCCESS)
    StoreSignal(printer, PRINTER_CHANGE_DELETE_JOB);
  if (jobs) RegCloseKey(jobs);
  StoreLeave();
}

uint32_t StoreListJobs(const WCHAR* printer, StoreJob* out, uint32_t room) {
  HKEY jobs = StoreKey(PrinterPath(printer, L"Jobs"), false);
  DWORD order[STORE_MAX_JOBS];
  uint32_t count = 0;
  for (DWORD i = 0; jobs && count < room && count < STORE_MAX_JOBS; ++i) {
    WCHAR name[16];
    DWORD size = 16;
    HKEY key = NULL;
    if (RegEnumKeyExW(jobs, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
    if (RegOpenKeyExW(jobs, name, 0, KEY_READ | STORE_VIEW, &key) != ERROR_SUCCESS) continue;
    StoreJob job = {};
    job.id = wcstoul(name, NULL, 10);
    job.status = StoreDword(key, L"Status", 0);
    job.pages = StoreDword(key, L"Pages", 0);
    DWORD type = 0, bytes = sizeof job.submitted;
    RegQueryValueExW(key, L"Submitted", NULL, &type, reinterpret_cast<BYTE*>(&job.submitted),
                     &bytes);
    ReadText(key, L"Document", job.document);
    ReadText(key, L"Owner", job.owner);
    ReadText(key, L"Machine", job.machine);
    const DWORD at = StoreDword(key, L"Order", 0);
    RegCloseKey(key);
    uint32_t k = count++;  // insertion in queue order
    for (; k > 0 && order[k - 1] > at; --k) {
      out[k] = out[k - 1];
      order[k] = order[k - 1];
    }
    out[k] = job;
    order[k] = at;
  }
  if (jobs) RegCloseKey(jobs);
  return count;
}
