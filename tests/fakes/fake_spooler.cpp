// Recording fake of the spooler's client functions: printers by name, a journal of calls.
#include "fake_spooler.h"

#include <string.h>

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

struct OpenPrinter {
  std::string name;
};

std::mutex lock;
std::vector<FakeSpoolerCall> journal;
std::set<std::string> printers;
std::map<HANDLE, OpenPrinter*> handles;
bool openAnyName = true;

void Record(FakeSpoolerCallKind kind, HANDLE printer, const char* name, DWORD level, DWORD value,
            DWORD command) {
  FakeSpoolerCall call{};
  call.kind = kind;
  call.printer = printer;
  if (name) {
    strncpy(call.name, name, sizeof call.name - 1);
  }
  call.level = level;
  call.value = value;
  call.command = command;
  journal.push_back(call);
}

}  // namespace

void FakeSpoolerReset(bool openAny) {
  std::lock_guard<std::mutex> guard(lock);
  journal.clear();
  printers.clear();
  for (auto& h : handles) delete h.second;
  handles.clear();
  openAnyName = openAny;
}

void FakeSpoolerAddPrinter(const char* name) {
  std::lock_guard<std::mutex> guard(lock);
  printers.insert(name);
}

int FakeSpoolerCallCount() {
  std::lock_guard<std::mutex> guard(lock);
  return static_cast<int>(journal.size());
}

FakeSpoolerCall FakeSpoolerCallAt(int index) {
  std::lock_guard<std::mutex> guard(lock);
  return journal.at(index);
}

int FakeSpoolerCount(FakeSpoolerCallKind kind) {
  std::lock_guard<std::mutex> guard(lock);
  int n = 0;
  for (const FakeSpoolerCall& c : journal) n += c.kind == kind;
  return n;
}

long long FakeSpoolerLastStatus() {
  std::lock_guard<std::mutex> guard(lock);
  for (auto it = journal.rbegin(); it != journal.rend(); ++it) {
    if (it->kind == SPOOL_SET_PRINTER) return it->value;
  }
  return -1;
}

int FakeSpoolerOpenHandles() {
  std::lock_guard<std::mutex> guard(lock);
  return static_cast<int>(handles.size());
}

BOOL OpenPrinterA(LPSTR printerName, LPHANDLE printer, void*) {
  std::lock_guard<std::mutex> guard(lock);
  if (!printerName || (!openAnyName && !printers.count(printerName))) {
    if (printer) *printer = nullptr;
    Record(SPOOL_OPEN_PRINTER, nullptr, printerName, 0, 0, 0);
    SetLastError(1801);  // ERROR_INVALID_PRINTER_NAME
    return FALSE;
  }
  OpenPrinter* p = new OpenPrinter{printerName};
  handles[p] = p;
  *printer = p;
  Record(SPOOL_OPEN_PRINTER, p, printerName, 0, 0, 0);
  return TRUE;
}

BOOL ClosePrinter(HANDLE printer) {
  std::lock_guard<std::mutex> guard(lock);
  Record(SPOOL_CLOSE_PRINTER, printer, nullptr, 0, 0, 0);
  auto it = handles.find(printer);
  if (it == handles.end()) return FALSE;
  delete it->second;
  handles.erase(it);
  return TRUE;
}

BOOL SetPrinterA(HANDLE printer, DWORD level, LPBYTE info, DWORD command) {
  std::lock_guard<std::mutex> guard(lock);
  // Level 0 with PRINTER_CONTROL_SET_STATUS carries the status in place of the pointer.
  Record(SPOOL_SET_PRINTER, printer, nullptr, level,
         static_cast<DWORD>(reinterpret_cast<uintptr_t>(info)), command);
  return handles.count(printer) ? TRUE : FALSE;
}

BOOL GetPrinterA(HANDLE printer, DWORD level, LPBYTE info, DWORD size, LPDWORD needed) {
  std::lock_guard<std::mutex> guard(lock);
  Record(SPOOL_GET_PRINTER, printer, nullptr, level, size, 0);
  auto it = handles.find(printer);
  if (it == handles.end() || level != 2) return FALSE;
  const std::string& name = it->second->name;
  DWORD total = static_cast<DWORD>(sizeof(PRINTER_INFO_2A) + name.size() + 1);
  if (needed) *needed = total;
  if (!info || size < total) {
    SetLastError(122);  // ERROR_INSUFFICIENT_BUFFER
    return FALSE;
  }
  PRINTER_INFO_2A* pi = reinterpret_cast<PRINTER_INFO_2A*>(info);
  memset(pi, 0, sizeof *pi);
  char* text = reinterpret_cast<char*>(info + sizeof(PRINTER_INFO_2A));
  memcpy(text, name.c_str(), name.size() + 1);
  pi->pPrinterName = text;
  return TRUE;
}

DWORD SetPrinterDataA(HANDLE printer, LPSTR name, DWORD type, LPBYTE data, DWORD size) {
  std::lock_guard<std::mutex> guard(lock);
  DWORD value = 0;
  if (type == REG_DWORD && data && size == 4) memcpy(&value, data, 4);
  Record(SPOOL_SET_PRINTER_DATA, printer, name, type, value, size);
  return handles.count(printer) ? ERROR_SUCCESS : 6;
}
