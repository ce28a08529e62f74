// The face of the Windows 95-generation spooler: the port monitor's 13-entry table copied into
// the record, the ANSI printer functions, the monitor's registry key, and the display program's
// window and named objects.
#include "monitor_face.h"

#include "display_link.h"
#include "guarded_heap.h"
#include "identify.h"
#include "notify_display.h"
#include "printer_data.h"
#include "settings.h"

namespace {

BOOL StartLowerDoc(PortRecord* port, LPVOID printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
  return port->portMonitor.pfnStartDocPort(port->hPort, static_cast<LPSTR>(printerName), jobId,
                                           level, docInfo);
}
BOOL WriteLower(PortRecord* port, LPBYTE data, DWORD count, LPDWORD written) {
  return port->portMonitor.pfnWritePort(port->hPort, data, count, written);
}
BOOL ReadLower(PortRecord* port, LPBYTE buffer, DWORD size, LPDWORD read) {
  return port->portMonitor.pfnReadPort(port->hPort, buffer, size, read);
}
BOOL EndLowerDoc(PortRecord* port) {
  return port->portMonitor.pfnEndDocPort(port->hPort);
}
BOOL CloseLower(PortRecord* port) {
  return port->portMonitor.pfnClosePort(port->hPort);
}

// Control id 17 of the port monitor's GetPrinterDataFromPort, into the 1024 bytes offered.
BOOL ReadDeviceId(PortRecord* port, char* id) {
  if (!port->portMonitor.pfnGetPrinterDataFromPort) return FALSE;
  DWORD returned = 0;
  return port->portMonitor.pfnGetPrinterDataFromPort(port->hPort, CONTROL_ID_DEVICE_ID, NULL, NULL,
                                                     0, id, DEVICE_ID_BUFFER, &returned) &&
         returned != 0;
}

BOOL SamePrinterName(const PortRecord* port, LPCVOID name) {
  return port->printerName != NULL && name != NULL &&
         lstrcmpA(static_cast<LPCSTR>(name), port->printerName) == 0;
}
void KeepPrinterName(PortRecord* port, LPCVOID name) {
  FreeString(port->printerName);
  port->printerName = DupString(static_cast<LPCSTR>(name));
}
HANDLE OpenPrinterNamed(PortRecord*, LPCVOID name) {
  HANDLE printer = NULL;
  OpenPrinterA(static_cast<LPSTR>(const_cast<void*>(name)), &printer, NULL);
  return printer;
}
void SetPrinterStatus(PortRecord*, HANDLE printer, DWORD status) {
  SetPrinterA(printer, 0, reinterpret_cast<LPBYTE>(static_cast<ULONG_PTR>(status)),
              PRINTER_CONTROL_SET_STATUS);
}
// The spooler's prototype takes the value name as LPSTR; it only reads it.
void SetMemoryData(PortRecord*, HANDLE printer, BOOL installed, DWORD value) {
  SetPrinterDataA(printer,
                  const_cast<LPSTR>(installed ? INSTALLED_MEMORY_VALUE : AVAILABLE_MEMORY_VALUE),
                  REG_DWORD, reinterpret_cast<LPBYTE>(&value), sizeof value);
}
// The spooler of this generation counts a job done when the port monitor's EndDocPort returns.
void LowerJobEnded(PortRecord*, DWORD) {}
void ReleasePort(PortRecord* port) {
  FreeString(port->printerName);
  port->printerName = NULL;
}

// Only the port whose printer the display program was last told about closes it.
void* StatusThreadEnding(PortRecord* port) {
  static char closeDisplay;
  return ForgetDisplayedPort(port) ? &closeDisplay : NULL;
}
void StatusThreadEnded(void*) {
  HWND window = FindWindowA(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE);
  if (window) PostMessageA(window, WM_DESTROY, 0, 0);
}

void ReadSettings(MonitorInstance*) {
  ReadMonitorSettings();
}

// The named event the display program sets: created (or opened, if it exists) and reset at
// once, so a request made before this thread started is discarded.
HANDLE OpenDrumRequest(PortRecord*) {
  HANDLE event = CreateEventA(NULL, TRUE, TRUE, DRUM_RESET_EVENT_NAME);
  if (event) ResetEvent(event);
  return event;
}

// This spooler never unloads a monitor: no thread needs to hold it.
HMODULE HoldModule() {
  return NULL;
}
void ReleaseModule(HMODULE, BOOL) {}

// The Windows 95 generation's port monitors give no network printer's address.
bool NoNetworkPort(const PortRecord*) {
  return false;
}

bool NoNetworkPoll(PortRecord*, bool) {
  return false;
}

}  // namespace

const MonitorFace Win95Face = {
    StartLowerDoc,       // startLowerDoc
    WriteLower,          // writeLower
    ReadLower,           // readLower
    EndLowerDoc,         // endLowerDoc
    CloseLower,          // closeLower
    ReadDeviceId,        // readDeviceId
    SamePrinterName,     // samePrinterName
    KeepPrinterName,     // keepPrinterName
    OpenPrinterNamed,    // openPrinter
    SetPrinterStatus,    // setPrinterStatus
    SetMemoryData,       // setMemoryData
    LowerJobEnded,       // lowerJobEnded
    ReleasePort,         // releasePort
    ShowCodeOnDisplay,   // showCode (notify_display.cpp)
    StatusThreadEnding,  // statusThreadEnding
    StatusThreadEnded,   // statusThreadEnded
    ReadSettings,        // readSettings
    OpenDrumRequest,     // openDrumRequest
    HoldModule,          // holdModule
    ReleaseModule,       // releaseModule
    NoNetworkPort,       // isNetworkPort
    NoNetworkPoll,       // pollNetwork
};
