// qvlspool: a stand-in for the Windows print spooler, for running a language monitor without
// Windows' spooler or a printer. It loads the monitor DLL, takes it into service as the spooler
// does, gives OpenPortEx a port monitor of ours (an emulated printer, or a network printer's
// raw TCP port), plays jobs and queries, keeps the printers whose status the monitor sets
// (through our winspool.drv), and prints what happened as a timeline. Usage: README.md here.
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "display_link.h"
#include "display_watch.h"
#include "emu_port_monitor.h"
#include "monitor_start.h"
#include "nt_port_monitor.h"
#include "port_trace.h"
#include "printer_store.h"
#include "printers.h"
#include "spool_options.h"
#include "spool_run.h"
#include "tcp_port_monitor.h"
#include "timeline.h"
#include "wide_text.h"

namespace {

// Another qvlspool (or a script through `qvlspool --signal-remedy`) sets this to have the
// user put the emulated printer right.
const char REMEDY_EVENT_NAME[] = "QVLSPOOL Printer Remedy";

std::string RemedyPort;

void OnPrinterEvent(void*, const PrinterEvent* e) {
  TimelineRecord r;
  RecordBegin(&r, "printer");
  RecordString(&r, "event", PrinterEventKindName(e->kind));
  RecordNumber(&r, "value", e->value);
  RecordString(&r, "detail", e->detail);
  RecordNumber(&r, "printer_ms", e->timeMs);
  RecordEnd(&r);
}

void OnDisplayMessage(void*, UINT message, WPARAM wParam, LPARAM lParam, const char* name) {
  TimelineRecord r;
  RecordBegin(&r, "display");
  RecordNumber(&r, "message", message);
  RecordNumber(&r, "wParam", static_cast<long long>(wParam));
  RecordNumber(&r, "lParam", static_cast<long long>(lParam));
  if (message == DLM_STATUS_CODE) RecordString(&r, "printer", name);
  RecordEnd(&r);
}

DWORD WINAPI RemedyThread(LPVOID event) {
  while (WaitForSingleObject(static_cast<HANDLE>(event), INFINITE) == WAIT_OBJECT_0) {
    TimelineRecord r;
    RecordBegin(&r, "remedy");
    RecordString(&r, "from", "event");
    RecordNumber(&r, "cleared", EmuPortRemedy(RemedyPort.c_str()));
    RecordEnd(&r);
  }
  return 0;
}

int SignalRemedy() {
  HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, REMEDY_EVENT_NAME);
  if (!event) {
    fprintf(stderr, "qvlspool: no qvlspool with an emulated printer is running\n");
    return 1;
  }
  SetEvent(event);
  CloseHandle(event);
  return 0;
}

// The keys of the monitor's settings: below HKEY_LOCAL_MACHINE, where a spooler of either
// generation keeps them (the NT one's through its registry callbacks).
const char WIN95_REGISTRY_ROOT[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QVL Stand-in";
const char NT_REGISTRY_ROOT[] = "SOFTWARE\\QVL Stand-in\\NT Monitor";

// How the port answers for the device ID: as on Windows 95, or (NT) as the port kind given, or
// by default an emu: port as a USB port, a tcp: port as a network port unless it was told the
// printer's device ID (a port monitor that knows its printer, as a USB port's does).
PortKind PortKindFor(const SpoolOptions& o, bool emu) {
  if (!o.nt) return PORT_KIND_WIN95;
  if (o.portKindGiven) return o.portKind;
  return emu || !o.deviceId.empty() ? PORT_KIND_USB : PORT_KIND_NETWORK;
}

// How long a port's write waits for a printer that takes nothing, unless the language monitor
// sets another time-out (SetPortTimeOuts): NT's ports keep a stalled write as long as a real
// port does (a local port's transmission retry is commonly 90 s; 20 s here); the Windows 95
// generation's stand-ins give up after 250 ms, as its tests expect.
uint32_t PortWriteWaitMs(const SpoolOptions& o) {
  return o.nt ? 20000 : 250;
}

// The port monitor for the port's kind, configured; NULL (reported) when unknown or failing.
MONITOR* PortMonitorFor(const SpoolOptions& o, Scenario* scenario) {
  if (_strnicmp(o.port.c_str(), "emu:", 4) == 0) {
    EmuPortOptions e = {};
    e.kind = PortKindFor(o, true);
    e.deviceId = o.deviceId.empty() ? NULL : o.deviceId.c_str();
    e.pageMs = o.pageMs;
    e.lenientJobReports = o.lenientJobReports;
    e.nestedJobReports = o.nestedJobReports;
    e.discard = o.bench;
    e.writeWaitMs = PortWriteWaitMs(o);
    if (!o.scenario.empty()) {
      char error[SCENARIO_ERROR_ROOM + 256];
      if (!LoadScenarioFile(o.scenario.c_str(), scenario, error, sizeof error)) {
        fprintf(stderr, "qvlspool: %s\n", error);
        return NULL;
      }
      e.scenario = scenario;
    }
    if (o.printerEvents) e.onEvent = OnPrinterEvent;
    EmuPortConfigure(&e);
    return EmuPortMonitor();
  }
  if (_strnicmp(o.port.c_str(), "tcp:", 4) == 0) {
    TcpPortOptions t = {o.deviceId.empty() ? NULL : o.deviceId.c_str(), 5000, PortWriteWaitMs(o),
                        1000, PortKindFor(o, false)};
    if (!TcpPortConfigure(&t)) {
      fprintf(stderr, "qvlspool: Winsock did not start\n");
      return NULL;
    }
    return TcpPortMonitor();
  }
  fprintf(stderr, "qvlspool: unknown port kind '%s' (emu:MODEL or tcp:HOST:PORT)\n",
          o.port.c_str());
  return NULL;
}

void Summary(const SpoolOptions& o) {
  TimelineRecord r;
  RecordBegin(&r, "end");
  uint32_t status = PrinterStatus(o.printer.c_str());
  char names[512];
  PrinterStatusNames(status, names, sizeof names);
  RecordHex(&r, "status", status);
  RecordString(&r, "names", names);
  RecordNumber(&r, "printer_handles", OpenPrinterHandles());
  RecordEnd(&r);
}

// NT mode: names may lie outside the ANSI code page, so the command line is read as Unicode and
// its words go on as UTF-8 (file names too: keep those ASCII). Windows 95 mode: argv as it is.
bool WantsNt(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--nt") == 0) return true;
  }
  return false;
}

std::vector<std::string> Utf8Arguments() {
  int n = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &n);
  std::vector<std::string> out;
  for (int i = 0; i < n && words; i++) out.push_back(NarrowText(words[i], CP_UTF8));
  LocalFree(words);
  return out;
}

// Both the language monitor and the port monitor of the run's spooler generation, as calls for
// the steps: through the monitor (viaMonitor) and straight to the port monitor (direct). false:
// the set-up failed, reported.
bool MakeCalls(const SpoolOptions& o, MONITOR* traced, SpoolCalls** viaMonitor,
               SpoolCalls** direct) {
  bool needMonitor = o.bench || !o.direct;
  if (!o.nt) {
    static MONITOR monitor;
    if (needMonitor && !StartWin95Monitor(o, &monitor)) return false;
    *viaMonitor = Win95SpoolCalls(&monitor, traced, false);
    *direct = Win95SpoolCalls(traced, traced, true);
    return true;
  }
  MONITOR2* table = NULL;
  HANDLE monitor = NULL;
  if (needMonitor && !StartNtMonitor(o, &table, &monitor)) return false;
  MONITOR2* lower = NtPortMonitorTable();
  HANDLE lowerMonitor = NtPortMonitorOver(traced);
  *viaMonitor = NtSpoolCalls(table, monitor, lower, lowerMonitor, false);
  *direct = NtSpoolCalls(NULL, NULL, lower, lowerMonitor, true);
  return true;
}

// Every printer of the run's ports (those of port steps too) and the user's connections, in the
// printer store before the monitor starts: it may look for them at once. false: reported.
bool RegisterPrinters(const SpoolOptions& o, const std::vector<Step>& steps) {
  if (!StoreSpoolerStart()) {
    fprintf(stderr, "qvlspool: the printer store cannot be written\n");
    return false;
  }
  uint32_t ownDeny = o.deny;
  for (const Step& s : steps) {
    if (s.kind == STEP_PORT && (s.printer.empty() || s.printer == o.printer)) ownDeny |= s.deny;
  }
  AddPrinter(o.printer.c_str(), ownDeny);
  for (const Step& s : steps) {
    if (s.kind == STEP_PORT && !s.printer.empty()) AddPrinter(s.printer.c_str(), s.deny);
  }
  const UINT codePage = o.nt ? CP_UTF8 : CP_ACP;
  for (const std::string& c : o.connections) {
    const size_t slash = c.find('\\', 2);
    StoreAddConnection(WideText(c.substr(2, slash - 2).c_str(), codePage).c_str(),
                       WideText(c.substr(slash + 1).c_str(), codePage).c_str());
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--signal-remedy") == 0) return SignalRemedy();
  if (WantsHelp(argc, argv)) {
    PrintUsage(stdout);
    return 0;
  }
  std::vector<std::string> utf8;
  std::vector<char*> utf8Argv;
  if (WantsNt(argc, argv)) {
    utf8 = Utf8Arguments();
    for (std::string& word : utf8) utf8Argv.push_back(&word[0]);
    argc = static_cast<int>(utf8Argv.size());
    argv = utf8Argv.data();
  }
  SpoolOptions o;
  std::vector<Step> steps;
  if (argc < 2 || !ParseCommandLine(argc, argv, &o, &steps)) {
    PrintUsage(stderr);
    return 2;
  }
  if (o.registryRoot.empty()) o.registryRoot = o.nt ? NT_REGISTRY_ROOT : WIN95_REGISTRY_ROOT;
  TimelineStart(o.json, o.bytes);
  TimelineTextIsUtf8(o.nt);
  PrinterNamesAreUtf8(o.nt);
  static Scenario scenario;
  MONITOR* lower = PortMonitorFor(o, &scenario);
  if (!lower) return 3;
  PortFaults faults = o.faults;
  MONITOR* traced = PortTraceMonitor(lower, &faults, o.nt);
  if (!RegisterPrinters(o, steps)) return 3;
  PrinterSessionRecords(o.watchDisplay && o.nt && !o.direct);

  TimelineRecord r;
  RecordBegin(&r, "run");
  RecordString(&r, "port", o.port.c_str());
  RecordString(&r, "printer", o.printer.c_str());
  RecordNumber(&r, "bits", static_cast<long long>(sizeof(void*) * 8));
  if (o.nt) RecordString(&r, "spooler", "nt");
  RecordEnd(&r);

  SpoolCalls *viaMonitor, *direct;
  if (!MakeCalls(o, traced, &viaMonitor, &direct)) return 3;
  if (o.watchDisplay && !DisplayWatchStartThread(OnDisplayMessage, NULL)) {
    fprintf(stderr, "qvlspool: the stand-in display window could not be made\n");
    return 3;
  }
  if (_strnicmp(o.port.c_str(), "emu:", 4) == 0) {
    RemedyPort = o.port;
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, REMEDY_EVENT_NAME);
    if (event) CloseHandle(CreateThread(NULL, 0, RemedyThread, event, 0, NULL));
  }

  int result;
  if (o.bench) {
    result = RunBench(o, viaMonitor, direct);
  } else {
    result = RunSteps(o, o.direct ? direct : viaMonitor, steps);
    if (o.watchDisplay) Sleep(500);  // the monitor posts its last message after ClosePort
  }
  Summary(o);
  StoreSpoolerEnd();  // the queues are empty and the readers find no spooler
  fflush(stdout);
  // The monitor DLL stays loaded: a spooler never unloads a monitor with threads of its own.
  ExitProcess(static_cast<UINT>(result));
}
