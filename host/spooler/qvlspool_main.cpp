// qvlspool: a stand-in for the Windows print spooler, for running a language monitor without
// Windows' spooler or a printer. It loads the monitor DLL, takes it into service as the spooler
// does, gives OpenPortEx a port monitor of ours (an emulated printer, or a network printer's
// raw TCP port), plays jobs and queries, keeps the printers whose status the monitor sets
// (through our winspool.drv), and prints what happened as a timeline. Usage: README.md here.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "display_link.h"
#include "display_watch.h"
#include "emu_port_monitor.h"
#include "port_trace.h"
#include "printers.h"
#include "spool_options.h"
#include "spool_run.h"
#include "tcp_port_monitor.h"
#include "timeline.h"
#include "winspool/spooler_client.h"

namespace {

// Another qvlspool (or a script through `qvlspool --signal-remedy`) sets this to have the
// user put the emulated printer right.
const char REMEDY_EVENT_NAME[] = "QVLSPOOL Printer Remedy";

typedef BOOL(WINAPI* InitializeMonitorExFn)(LPSTR registryRoot, MONITOR* table);

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

// The port monitor for the port's kind, configured; NULL (reported) when unknown or failing.
MONITOR* PortMonitorFor(const SpoolOptions& o, Scenario* scenario) {
  if (_strnicmp(o.port.c_str(), "emu:", 4) == 0) {
    EmuPortOptions e = {};
    e.deviceId = o.deviceId.empty() ? NULL : o.deviceId.c_str();
    e.pageMs = o.pageMs;
    e.discard = o.bench;
    e.writeWaitMs = 250;
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
    TcpPortOptions t = {o.deviceId.empty() ? NULL : o.deviceId.c_str(), 5000, 250, 1000,
                        PORT_KIND_WIN95};
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

std::string DefaultDll() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
  std::string dir(path, n);
  size_t slash = dir.find_last_of("\\/");
  dir.erase(slash == std::string::npos ? 0 : slash + 1);
  return dir + "qvllink.dll";
}

// Loads the language monitor and takes it into service; fills table. false: reported.
bool StartMonitor(const SpoolOptions& o, MONITOR* table) {
  std::string dll = o.dll.empty() ? DefaultDll() : o.dll;
  HMODULE module = LoadLibraryA(dll.c_str());
  if (!module) {
    fprintf(stderr, "qvlspool: cannot load %s (error %lu)\n", dll.c_str(), GetLastError());
    return false;
  }
  InitializeMonitorExFn init = reinterpret_cast<InitializeMonitorExFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "InitializeMonitorEx")));
  if (!init) {
    fprintf(stderr, "qvlspool: %s exports no InitializeMonitorEx\n", dll.c_str());
    return false;
  }
  // The monitor's printer calls must reach our printers: our winspool.drv has to be the one
  // loaded (Wine: WINEDLLOVERRIDES="winspool.drv=n" and the DLL beside qvlspool.exe).
  HMODULE spool = GetModuleHandleA("winspool.drv");
  if (!spool) spool = LoadLibraryA("winspool.drv");
  SpoolerConnectFn connect = spool ? reinterpret_cast<SpoolerConnectFn>(reinterpret_cast<void*>(
                                         GetProcAddress(spool, SPOOLER_CONNECT_EXPORT)))
                                   : NULL;
  if (!connect) {
    fprintf(stderr,
            "qvlspool: the winspool.drv loaded is not ours: put qvlspool's winspool.drv beside "
            "qvlspool.exe (under Wine also set WINEDLLOVERRIDES=\"winspool.drv=n\")\n");
    return false;
  }
  connect(PrinterClientOps());
  // The monitor only opens its key; a spooler creates it when the monitor is installed.
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, o.registryRoot.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                      &key, NULL) == ERROR_SUCCESS) {
    RegCloseKey(key);
  }
  memset(table, 0, sizeof *table);
  std::string root = o.registryRoot;
  BOOL ok = init(&root[0], table);
  TimelineRecord r;
  RecordBegin(&r, "op");
  RecordString(&r, "op", "InitializeMonitorEx");
  RecordString(&r, "dll", dll.c_str());
  RecordString(&r, "root", root.c_str());
  RecordNumber(&r, "result", ok);
  RecordEnd(&r);
  if (!ok || !table->pfnOpenPortEx || !table->pfnStartDocPort || !table->pfnWritePort ||
      !table->pfnEndDocPort || !table->pfnClosePort) {
    fprintf(stderr, "qvlspool: %s did not fill the monitor table\n", dll.c_str());
    return false;
  }
  return true;
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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--signal-remedy") == 0) return SignalRemedy();
  SpoolOptions o;
  std::vector<Step> steps;
  if (argc < 2 || !ParseCommandLine(argc, argv, &o, &steps)) {
    PrintUsage();
    return 2;
  }
  TimelineStart(o.json, o.bytes);
  static Scenario scenario;
  MONITOR* lower = PortMonitorFor(o, &scenario);
  if (!lower) return 3;
  PortFaults faults = o.faults;
  MONITOR* traced = PortTraceMonitor(lower, &faults);
  AddPrinter(o.printer.c_str());

  TimelineRecord r;
  RecordBegin(&r, "run");
  RecordString(&r, "port", o.port.c_str());
  RecordString(&r, "printer", o.printer.c_str());
  RecordNumber(&r, "bits", static_cast<long long>(sizeof(void*) * 8));
  RecordEnd(&r);

  static MONITOR monitor;
  bool needMonitor = o.bench || !o.direct;
  if (needMonitor && !StartMonitor(o, &monitor)) return 3;
  if (o.watchDisplay && !DisplayWatchStartThread(OnDisplayMessage, NULL)) {
    fprintf(stderr, "qvlspool: the stand-in display window could not be made\n");
    return 3;
  }
  if (_strnicmp(o.port.c_str(), "emu:", 4) == 0) {
    RemedyPort = o.port;
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, REMEDY_EVENT_NAME);
    if (event) CloseHandle(CreateThread(NULL, 0, RemedyThread, event, 0, NULL));
  }

  SpoolTarget viaMonitor = {&monitor, traced, false};
  SpoolTarget direct = {traced, traced, true};
  int result;
  if (o.bench) {
    result = RunBench(o, viaMonitor, direct);
  } else {
    result = RunSteps(o, o.direct ? direct : viaMonitor, steps);
    if (o.watchDisplay) Sleep(500);  // the monitor posts its last message after ClosePort
  }
  Summary(o);
  fflush(stdout);
  // The monitor DLL stays loaded: a spooler never unloads a monitor with threads of its own.
  ExitProcess(static_cast<UINT>(result));
}
