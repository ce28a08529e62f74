// Loads qvllink.dll as the spooler does, and calls it through the table it fills, with the
// spooler's calling convention: a mismatch would corrupt this program's stack on i686.
#include <windows.h>

#include <string>

#include "scripted_port_monitor.h"
#include "spooler_nt.h"
#include "spooler_win95.h"
#include "wine_check.h"

namespace {

typedef BOOL(WINAPI* InitializeMonitorExFn)(LPSTR, MONITOR*);
typedef LPMONITOR2(WINAPI* InitializePrintMonitor2Fn)(PMONITORINIT, PHANDLE);

const char kPort[] = "QVL1:";
const std::string kPrefix = std::string("\x1b%-12345X@PJL\r\n") + "@PJL USTATUS DEVICE=ON\r\n";

bool WaitUntil(bool (*cond)(), DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += 10) {
    if (cond()) return true;
    Sleep(10);
  }
  return cond();
}

bool LowerJobEnded() {
  return ScriptedPortGetState(kPort).endDocs == 1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* dll = argc > 1 ? argv[1] : "qvllink.dll";
  HMODULE module = LoadLibraryA(dll);
  CHECK(module != NULL, "LoadLibrary(%s) failed with %lu", dll, GetLastError());
  if (!module) return CheckSummary("monitor_dll_test");
  InitializeMonitorExFn init = reinterpret_cast<InitializeMonitorExFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "InitializeMonitorEx")));
  CHECK(init != NULL, "no undecorated InitializeMonitorEx export");
  CHECK(GetProcAddress(module, "DllEntryPoint") != NULL, "no DllEntryPoint export");
  if (!init) return CheckSummary("monitor_dll_test");

  MONITOR table;
  memset(&table, 0xCC, sizeof table);
  char root[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QVL Test";
  CHECK(init(root, &table) == TRUE, "InitializeMonitorEx did not return TRUE");
  CHECK(table.pfnEnumPorts == NULL && table.pfnOpenPort == NULL && table.pfnAddPort == NULL &&
            table.pfnConfigurePort == NULL && table.pfnDeletePort == NULL &&
            table.pfnSetPortTimeOuts == NULL,
        "the six unused entries must be NULL");
  CHECK(table.pfnOpenPortEx && table.pfnStartDocPort && table.pfnWritePort && table.pfnReadPort &&
            table.pfnEndDocPort && table.pfnClosePort && table.pfnGetPrinterDataFromPort,
        "the seven operations must be set");

  ScriptedPortSetDeviceId(kPort, "MFG:Zemblaxon;MDL:QV-L3820;CMD:PJL;");
  HANDLE port = NULL;
  SetLastError(0xDEAD);
  BOOL ok = table.pfnOpenPortEx(const_cast<LPSTR>(kPort), const_cast<LPSTR>("QVL Printer"), &port,
                                ScriptedPortMonitor());
  CHECK(ok && port != NULL, "OpenPortEx failed with %lu", GetLastError());
  HANDLE second = NULL;
  SetLastError(0xDEAD);
  ok = table.pfnOpenPortEx(const_cast<LPSTR>("qvl1:"), const_cast<LPSTR>("QVL Printer"), &second,
                           ScriptedPortMonitor());
  CHECK(!ok && GetLastError() == ERROR_BUSY, "second open gave %d with %lu (expected 0, 170)", ok,
        GetLastError());

  DOC_INFO_1A info = {const_cast<LPSTR>("test page"), NULL, const_cast<LPSTR>("RAW")};
  ok = table.pfnStartDocPort(port, const_cast<LPSTR>("QVL Printer"), 42, 1,
                             reinterpret_cast<LPBYTE>(&info));
  CHECK(ok, "StartDocPort failed with %lu", GetLastError());
  const char data[] = "%!PS page one\f";
  DWORD written = 0;
  ok = table.pfnWritePort(port, (LPBYTE)data, sizeof data - 1, &written);
  CHECK(ok && written == sizeof data - 1, "WritePort gave %d, %lu bytes", ok, written);
  CHECK(table.pfnEndDocPort(port), "EndDocPort failed");

  ScriptedPortState s = ScriptedPortGetState(kPort);
  CHECK(s.jobs.size() == 1 && s.jobs[0].bytes == kPrefix + data,
        "the printer got %u bytes, expected the two prefix lines and the data",
        s.jobs.empty() ? 0u : (unsigned)s.jobs[0].bytes.size());
  CHECK(s.endDocs == 0, "the lower job must stay open until the printer reports its end");
  Sleep(300);
  CHECK(ScriptedPortGetState(kPort).endDocs == 0, "the lower job ended without a report");

  // The maker's printers answer in plain form, but the job-end report is PJL... the status
  // thread of a QV-L3820 reads plain replies, so the deferred end is shown here with a generic
  // printer on a second port.
  ScriptedPortSetDeviceId("QVL2:", "MFG:Acme;MDL:LaserPro 4;CMD:PJL;");
  HANDLE port2 = NULL;
  CHECK(table.pfnOpenPortEx(const_cast<LPSTR>("QVL2:"), const_cast<LPSTR>("Other"), &port2,
                            ScriptedPortMonitor()),
        "OpenPortEx QVL2 failed");
  CHECK(table.pfnStartDocPort(port2, const_cast<LPSTR>("Other"), 7, 1, (LPBYTE)&info),
        "StartDocPort QVL2 failed");
  table.pfnWritePort(port2, (LPBYTE)data, sizeof data - 1, &written);
  table.pfnEndDocPort(port2);
  const char jobEnd[] = "@PJL USTATUS JOB\r\nEND\r\nNAME=\"MSJOB 7\"\r\nPAGES=1\r\n\f";
  ScriptedPortQueueReply("QVL2:", jobEnd);
  DWORD start = GetTickCount();
  bool ended = false;
  for (int i = 0; i < 800 && !ended; ++i) {
    ended = ScriptedPortGetState("QVL2:").endDocs == 1;
    if (!ended) Sleep(10);
  }
  CHECK(ended, "the printer's job-end report did not end the lower job");
  printf("job end applied %lu ms after the report was queued\n", GetTickCount() - start);

  start = GetTickCount();
  CHECK(table.pfnClosePort(port2), "ClosePort QVL2 failed");
  DWORD took = GetTickCount() - start;
  CHECK(took < 1500, "ClosePort took %lu ms", took);

  start = GetTickCount();
  CHECK(table.pfnClosePort(port), "ClosePort failed");
  took = GetTickCount() - start;
  CHECK(took < 3000, "ClosePort of the drained port took %lu ms", took);
  CHECK(WaitUntil(LowerJobEnded, 100), "ClosePort must end the deferred lower job");
  CHECK(ScriptedPortGetState(kPort).closes == 1, "the port monitor's ClosePort was not called");

  // The NT-family spooler's entry: arguments checked, the language monitor's nine operations
  // set and the port monitor's NULL, and a Shutdown that returns at once without ports.
  InitializePrintMonitor2Fn init2 = reinterpret_cast<InitializePrintMonitor2Fn>(
      reinterpret_cast<void*>(GetProcAddress(module, "InitializePrintMonitor2")));
  CHECK(init2 != NULL, "no undecorated InitializePrintMonitor2 export");
  if (init2) {
    HANDLE monitor = NULL;
    SetLastError(0xDEAD);
    LPMONITOR2 nt = init2(NULL, &monitor);
    CHECK(nt == NULL && GetLastError() == ERROR_INVALID_PARAMETER,
          "InitializePrintMonitor2(NULL) gave %p with %lu (expected NULL, 87)", (void*)nt,
          GetLastError());
    MONITORINIT init = {sizeof init, reinterpret_cast<HANDLE>(0x5150), NULL, NULL, TRUE, NULL};
    nt = init2(&init, &monitor);
    CHECK(nt != NULL && monitor != NULL, "InitializePrintMonitor2 failed with %lu", GetLastError());
    if (nt) {
      CHECK(nt->cbSize >= MONITOR2_SIZE_WIN2K, "MONITOR2 cbSize %lu", nt->cbSize);
      CHECK(nt->pfnOpenPortEx && nt->pfnStartDocPort && nt->pfnWritePort && nt->pfnReadPort &&
                nt->pfnEndDocPort && nt->pfnClosePort && nt->pfnGetPrinterDataFromPort &&
                nt->pfnShutdown && nt->pfnSendRecvBidiDataFromPort,
            "the language monitor's nine operations must be set");
      CHECK(!nt->pfnEnumPorts && !nt->pfnOpenPort && !nt->pfnAddPort && !nt->pfnAddPortEx &&
                !nt->pfnConfigurePort && !nt->pfnDeletePort && !nt->pfnSetPortTimeOuts &&
                !nt->pfnXcvOpenPort && !nt->pfnXcvDataPort && !nt->pfnXcvClosePort,
            "the port monitor's operations must be NULL");
      start = GetTickCount();
      nt->pfnShutdown(monitor);
      CHECK(GetTickCount() - start < 1000, "Shutdown took %lu ms", GetTickCount() - start);
    }
  }

  FreeLibrary(module);
  return CheckSummary("monitor_dll_test");
}
