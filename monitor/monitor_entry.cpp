// The spooler's entry into the library: the monitor table and the library's life.
#include "monitor_entry.h"

#include "guarded_heap.h"
#include "notify_display.h"
#include "port_ops.h"
#include "port_record.h"
#include "printer_data.h"
#include "settings.h"

HINSTANCE MonitorModule = NULL;

extern "C" BOOL WINAPI InitializeMonitorEx(LPSTR registryRoot, MONITOR* monitor) {
  InitializeMonitorLock();
  if (registryRoot && registryRoot[0] && !RegistryRoot) RegistryRoot = DupString(registryRoot);

  static const MONITOR kOperations = {
      NULL,                    // EnumPorts: the port monitor lists the ports
      NULL,                    // OpenPort: the spooler opens ports through OpenPortEx
      OpenPortEx,              // OpenPortEx
      StartDocPort,            // StartDocPort
      WritePort,               // WritePort
      ReadPort,                // ReadPort
      EndDocPort,              // EndDocPort
      ClosePort,               // ClosePort
      NULL,                    // AddPort
      NULL,                    // ConfigurePort
      NULL,                    // DeletePort
      GetPrinterDataFromPort,  // GetPrinterDataFromPort
      NULL,                    // SetPortTimeOuts
  };
  if (monitor) *monitor = kOperations;
  return TRUE;
}

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    MonitorModule = instance;
  } else if (reason == DLL_PROCESS_DETACH && reserved == NULL) {
    // Unloaded while the process goes on: give back the registry root and the shared name.
    // (At process exit, reserved is set and the system reclaims everything.)
    FreeString(RegistryRoot);
    RegistryRoot = NULL;
    ReleaseSharedPrinterName();
  }
  return TRUE;
}
