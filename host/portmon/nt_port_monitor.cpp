#include "nt_port_monitor.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

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

// The Xcv channel of a port: "GetConfigInfo" answers a tcp:HOST:PORT port's address as the
// standard TCP/IP port monitor does (PORT_DATA_1, raw protocol); other ports know no Xcv data.
struct NtXcv {
  std::string portName;
};

BOOL WINAPI NtXcvOpenPort(HANDLE, LPCWSTR object, ACCESS_MASK, PHANDLE handle) {
  if (!object || !handle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *handle = new NtXcv{NarrowText(object, CP_UTF8)};
  return TRUE;
}

DWORD WINAPI NtXcvDataPort(HANDLE xcv, LPCWSTR dataName, PBYTE in, DWORD inSize, PBYTE out,
                           DWORD outSize, PDWORD needed) {
  const std::string& name = static_cast<NtXcv*>(xcv)->portName;
  if (!dataName || wcscmp(dataName, L"GetConfigInfo") != 0) return ERROR_INVALID_FUNCTION;
  if (!in || inSize < sizeof(ConfigInfoData1) ||
      reinterpret_cast<const ConfigInfoData1*>(in)->dwVersion != 1 || !needed) {
    return ERROR_INVALID_PARAMETER;
  }
  const size_t colon = name.rfind(':');
  if (name.compare(0, 4, "tcp:") != 0 || colon <= 4) return ERROR_NOT_SUPPORTED;
  *needed = sizeof(PortData1);
  if (!out || outSize < sizeof(PortData1)) return ERROR_INSUFFICIENT_BUFFER;
  PortData1 d;
  memset(&d, 0, sizeof d);
  d.dwVersion = 1;
  d.dwProtocol = 1;  // raw
  d.cbSize = sizeof d;
  std::string hostText = name.substr(4, colon - 4);
  if (hostText.size() > 2 && hostText.front() == '[' && hostText.back() == ']') {
    hostText = hostText.substr(1, hostText.size() - 2);  // an IPv6 address is kept bare
  }
  const std::wstring host = WideText(hostText.c_str(), CP_UTF8);
  const std::wstring port = WideText(name.c_str(), CP_UTF8);
  wcsncpy(d.sztPortName, port.c_str(), 63);
  wcsncpy(d.sztHostAddress, host.c_str(), 48);
  d.dwPortNumber = static_cast<DWORD>(strtoul(name.c_str() + colon + 1, NULL, 10));
  memcpy(out, &d, sizeof d);
  return ERROR_SUCCESS;
}

BOOL WINAPI NtXcvClosePort(HANDLE xcv) {
  delete static_cast<NtXcv*>(xcv);
  return TRUE;
}

BOOL WINAPI NtSetPortTimeOuts(HANDLE port, LPCOMMTIMEOUTS timeouts, DWORD reserved) {
  return Below(port)->pfnSetPortTimeOuts(Lower(port), timeouts, reserved);
}

// A port monitor's functions; the rest of the table (EnumPorts, Shutdown,
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
  t.pfnXcvOpenPort = NtXcvOpenPort;
  t.pfnXcvDataPort = NtXcvDataPort;
  t.pfnXcvClosePort = NtXcvClosePort;
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
