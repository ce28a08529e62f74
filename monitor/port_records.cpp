// Port records, the port list and the monitor lock.
#include <stddef.h>

#include "guarded_heap.h"
#include "monitor_face.h"
#include "port_record.h"

namespace {

CRITICAL_SECTION monitorLock;
PortRecord* portListHead = NULL;

}  // namespace

void InitializeMonitorLock() {
  // Both entries may run, and more than once: a lock that may be in use is not initialised again.
  static LONG initialised = 0;
  if (ExchangeShared(&initialised, 1) == 0) InitializeCriticalSection(&monitorLock);
}
void EnterMonitorLock() {
  EnterCriticalSection(&monitorLock);
}
void LeaveMonitorLock() {
  LeaveCriticalSection(&monitorLock);
}

PortRecord* PortListHead() {
  return portListHead;
}

PortRecord* AllocatePortRecord(LPCSTR portName) {
  DWORD nameLength = static_cast<DWORD>(lstrlenA(portName));
  DWORD size = static_cast<DWORD>(offsetof(PortRecord, portNameText)) + nameLength + 1;
  PortRecord* record = static_cast<PortRecord*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, size));
  if (!record) return NULL;
  lstrcpyA(record->portNameText, portName);
  record->portName = record->portNameText;
  record->size = size;
  record->next = NULL;
  record->signature = PORT_RECORD_SIGNATURE;
  record->references = 1;  // the port list's
  InitializeCriticalSection(&record->prefixLock);
  return record;
}

void AppendPortRecord(PortRecord* record) {
  if (!portListHead) {
    portListHead = record;
  } else {
    PortRecord* tail = portListHead;
    while (tail->next) tail = tail->next;
    tail->next = record;
  }
}

PortRecord* CreatePortRecord(LPCSTR portName, LPCSTR printerName) {
  PortRecord* record = AllocatePortRecord(portName);
  if (!record) return NULL;
  record->printerName = DupString(printerName);
  // A printer that cannot be opened leaves hPrinter 0; its status calls then go nowhere.
  OpenPrinterA(const_cast<LPSTR>(printerName), &record->hPrinter, NULL);
  AppendPortRecord(record);
  return record;
}

PortRecord* FindPortRecord(PortRecord* first, LPCSTR portName) {
  if (!portName) return NULL;
  for (PortRecord* r = first; r; r = r->next) {
    if (lstrcmpiA(r->portName, portName) == 0) return r;
  }
  return NULL;
}

BOOL UnlinkPortRecord(PortRecord* record) {
  if (!record || !portListHead) return FALSE;
  if (portListHead == record) {
    portListHead = record->next;
  } else {
    PortRecord* before = portListHead;
    while (before->next && before->next != record) before = before->next;
    if (before->next != record) return FALSE;
    before->next = record->next;
  }
  record->next = NULL;
  return TRUE;
}

BOOL FreePortRecord(PortRecord* record) {
  if (!UnlinkPortRecord(record)) return FALSE;
  ReleasePortRecord(record);
  return TRUE;
}

void HoldPortRecord(PortRecord* record) {
  IncrementShared(&record->references);
}

void ReleasePortRecord(PortRecord* record) {
  if (DecrementShared(&record->references) != 0) return;
  const MonitorFace* face = FaceOf(record);
  if (record->lowerOpen) face->closeLower(record);
  HANDLE printer = ExchangeShared(&record->hPrinter, NULL);
  if (printer) ClosePrinter(printer);
  face->releasePort(record);
  DeleteCriticalSection(&record->prefixLock);
  LocalFree(record);
}
