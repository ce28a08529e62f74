#include "wait_spooler.h"

#include <stdio.h>
#include <string.h>

#include "monitor_start.h"
#include "nt_port_monitor.h"
#include "printer_store.h"
#include "printers.h"
#include "session_link.h"
#include "spool_calls.h"
#include "timeline.h"
#include "wait_port.h"
#include "wait_watch.h"
#include "winspool/spooler_client.h"

namespace {

const char WIN95_ROOT[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QVL Wait";
const char NT_ROOT[] = "SOFTWARE\\QVL Stand-in\\Wait Monitor";
const char PORT[] = "emu:QV-L3820";
const DWORD JOB_ID = 1;
const DWORD PAGE_BYTES = 2048;
const DWORD RETRY_MS = 100;  // as qvlspool: a port that took nothing is offered the data again

SpoolCalls* Calls = NULL;
HANDLE Port = NULL;
std::string PrinterName;
HANDLE WriterThread = NULL;
volatile LONG StopWriting = 0;

// The printer functions qvlspool's printers answer, with the moment of each name read.
const SpoolerClientOps* Inner = NULL;
SpoolerClientOps Outer;
volatile double NameReadAt = 0;

BOOL GetPrinterStamped(HANDLE printer, DWORD level, BYTE* buffer, DWORD size, DWORD* needed) {
  NameReadAt = NowMs();
  return Inner->getPrinter(printer, level, buffer, size, needed);
}

// NT: the monitor's publication of a status, noted as it is written.
DWORD SetPrinterDataExNoted(HANDLE printer, const WCHAR* key, const WCHAR* value, DWORD type,
                            const BYTE* data, DWORD size) {
  DWORD result = Inner->setPrinterDataExW(printer, key, value, type, data, size);
  SessionStatus status;
  if (result == ERROR_SUCCESS && lstrcmpiW(value, SESSION_STATUS_VALUE) == 0 &&
      size == sizeof status) {
    memcpy(&status, data, sizeof status);
    if (status.code) NotePublished(status.code);
  }
  return result;
}

bool ConnectStampedOps() {
  HMODULE spool = GetModuleHandleA("winspool.drv");
  SpoolerConnectFn connect = spool ? reinterpret_cast<SpoolerConnectFn>(reinterpret_cast<void*>(
                                         GetProcAddress(spool, SPOOLER_CONNECT_EXPORT)))
                                   : NULL;
  if (!connect) return false;
  Inner = PrinterClientOps();
  Outer = *Inner;
  Outer.getPrinter = GetPrinterStamped;
  Outer.setPrinterDataExW = SetPrinterDataExNoted;
  connect(&Outer);
  return true;
}

// A PJL job as a driver writes one, without an end: header, then pages for ever.
std::string JobHeader() {
  char line[64];
  snprintf(line, sizeof line, "@PJL JOB NAME=\"MSJOB %lu\"\r\n",
           static_cast<unsigned long>(JOB_ID));
  return std::string("\x1b%-12345X") + line + "@PJL ENTER LANGUAGE=PCL\r\n";
}

std::string Page(uint32_t number) {
  std::string page;
  char text[48];
  snprintf(text, sizeof text, "QVL wait page %lu. ", static_cast<unsigned long>(number));
  while (page.size() + 2 < PAGE_BYTES) page.append(text);
  page.resize(PAGE_BYTES - 2);
  page.append("\r\f");
  return page;
}

// Writes data whole, as the spooler does; false when told to stop first.
bool WriteWhole(const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    if (StopWriting) return false;
    DWORD written = 0;
    Calls->Write(Port, reinterpret_cast<const BYTE*>(data.data()) + done,
                 static_cast<DWORD>(data.size() - done), &written);
    if (written > data.size() - done) written = static_cast<DWORD>(data.size() - done);
    done += written;
    if (written == 0) Sleep(RETRY_MS);
  }
  return true;
}

DWORD WINAPI Writer(LPVOID) {
  if (!WriteWhole(JobHeader())) return 0;
  for (uint32_t page = 1; WriteWhole(Page(page)); ++page) {
  }
  return 0;
}

}  // namespace

bool StartSpooler(const SpoolerSetup& setup) {
  SpoolOptions o;
  o.nt = setup.nt;
  o.dll = setup.dll;
  o.printer = setup.printer;
  o.registryRoot = setup.nt ? NT_ROOT : WIN95_ROOT;
  TimelineStart(false, false);
  TimelineMute(true);
  TimelineTextIsUtf8(setup.nt);
  PrinterNamesAreUtf8(setup.nt);
  if (!StoreSpoolerStart()) return false;  // the display program finds the printer there
  AddPrinter(setup.printer.c_str(), setup.remote ? static_cast<uint32_t>(STORE_DENY_LOCAL) : 0u);
  if (setup.remote) {
    const std::wstring wide(setup.printer.begin(), setup.printer.end());  // ASCII
    StoreAddConnection(L"QVLBENCH", wide.c_str());
  }
  PrinterName = setup.printer;
  MONITOR* lower = WaitPortMonitor(setup.nt ? PORT_KIND_USB : PORT_KIND_WIN95, setup.pageMs);
  if (!setup.nt) {
    static MONITOR monitor;
    if (!StartWin95Monitor(o, &monitor)) return false;
    Calls = Win95SpoolCalls(&monitor, lower, false);
  } else {
    MONITOR2* table = NULL;
    HANDLE monitor = NULL;
    if (!StartNtMonitor(o, &table, &monitor)) return false;
    Calls = NtSpoolCalls(table, monitor, NtPortMonitorTable(), NtPortMonitorOver(lower), false);
  }
  if (!ConnectStampedOps()) {
    fprintf(stderr, "qvlwait: the winspool.drv loaded is not qvlspool's\n");
    return false;
  }
  if (!Calls->OpenPort(PORT, PrinterName, &Port) ||
      !Calls->StartDoc(Port, PrinterName, JOB_ID, 1, "wait", 0)) {
    fprintf(stderr, "qvlwait: the monitor did not open the port or start the job (%lu)\n",
            GetLastError());
    return false;
  }
  WriterThread = CreateThread(NULL, 0, Writer, NULL, 0, NULL);
  return WriterThread != NULL;
}

void StopSpooler() {
  InterlockedExchange(&StopWriting, 1);
  WaitForSingleObject(WriterThread, INFINITE);
  CloseHandle(WriterThread);
  Calls->EndDoc(Port);
  Calls->Close(Port);
  Calls->Shutdown();
  StoreSpoolerEnd();
}

double LastNameRead() {
  return NameReadAt;
}

uint32_t SpoolerStatus() {
  return PrinterStatus(PrinterName.c_str());
}
