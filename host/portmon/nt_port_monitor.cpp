#include "nt_port_monitor.h"

#include <string>

#include "wide_text.h"

namespace {

// A port of ours: the ports below and their handle.
struct NtPort {
  MONITOR* ports;
  HANDLE lower;
};

MONITOR* Below(HANDLE port) {
  return static_cast<NtPort*>(port)->ports;
}

HANDLE Lower(HANDLE port) {
  return static_cast<NtPort*>(port)->lower;
}

BOOL WINAPI NtOpenPort(HANDLE monitor, LPWSTR name, PHANDLE handle) {
  if (!monitor || !name || !handle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  NtPort* p = new NtPort();
  p->ports = static_cast<MONITOR*>(monitor);
  std::string narrow = NarrowText(name, CP_UTF8);
  if (!p->ports->pfnOpenPort(&narrow[0], &p->lower)) {
    DWORD error = GetLastError();
    delete p;
    SetLastError(error);
    return FALSE;
  }
  *handle = p;
  return TRUE;
}

BOOL WINAPI NtStartDocPort(HANDLE port, LPWSTR printer, DWORD jobId, DWORD level, LPBYTE) {
  std::string narrow = NarrowText(printer, CP_UTF8);
  return Below(port)->pfnStartDocPort(Lower(port), &narrow[0], jobId, level, NULL);
}

BOOL WINAPI NtWritePort(HANDLE port, LPBYTE data, DWORD count, LPDWORD written) {
  return Below(port)->pfnWritePort(Lower(port), data, count, written);
}

BOOL WINAPI NtReadPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read) {
  return Below(port)->pfnReadPort(Lower(port), buffer, size, read);
}

BOOL WINAPI NtEndDocPort(HANDLE port) {
  return Below(port)->pfnEndDocPort(Lower(port));
}

BOOL WINAPI NtClosePort(HANDLE port) {
  NtPort* p = static_cast<NtPort*>(port);
  BOOL ok = p->ports->pfnClosePort(p->lower);
  DWORD error = GetLastError();
  delete p;
  SetLastError(error);
  return ok;
}

BOOL WINAPI NtGetPrinterDataFromPort(HANDLE port, DWORD control, LPWSTR valueName, LPWSTR in,
                                     DWORD inSize, LPWSTR out, DWORD outSize, LPDWORD returned) {
  MONITOR* below = Below(port);
  if (!below->pfnGetPrinterDataFromPort) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  std::string name = NarrowText(valueName, CP_UTF8);
  return below->pfnGetPrinterDataFromPort(Lower(port), control, valueName ? &name[0] : NULL,
                                          reinterpret_cast<LPSTR>(in), inSize,
                                          reinterpret_cast<LPSTR>(out), outSize, returned);
}

BOOL WINAPI NtSetPortTimeOuts(HANDLE port, LPCOMMTIMEOUTS timeouts, DWORD reserved) {
  return Below(port)->pfnSetPortTimeOuts(Lower(port), timeouts, reserved);
}

// A port monitor's functions; the rest of the table (EnumPorts, the Xcv functions, Shutdown,
// SendRecvBidiDataFromPort...) NULL.
MONITOR2 MakeTable() {
  MONITOR2 t = {};
  t.cbSize = sizeof t;
  t.pfnOpenPort = NtOpenPort;
  t.pfnStartDocPort = NtStartDocPort;
  t.pfnWritePort = NtWritePort;
  t.pfnReadPort = NtReadPort;
  t.pfnEndDocPort = NtEndDocPort;
  t.pfnClosePort = NtClosePort;
  t.pfnGetPrinterDataFromPort = NtGetPrinterDataFromPort;
  return t;
}

MONITOR2 Table = MakeTable();

}  // namespace

MONITOR2* NtPortMonitorTable() {
  return &Table;
}

HANDLE NtPortMonitorOver(MONITOR* ports) {
  // SetPortTimeOuts only where the ports below have it, as a port monitor's table says.
  Table.pfnSetPortTimeOuts = ports->pfnSetPortTimeOuts ? NtSetPortTimeOuts : NULL;
  return ports;
}
