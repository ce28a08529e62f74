// Asks the port monitor below for a network port's address; see port_address.h.
#include "port_address.h"

#include <stddef.h>
#include <string.h>

namespace {

bool HasXcv(const MONITOR2* m) {
  return m && m->cbSize >= offsetof(MONITOR2, pfnXcvClosePort) + sizeof m->pfnXcvClosePort &&
         m->pfnXcvOpenPort && m->pfnXcvDataPort && m->pfnXcvClosePort;
}

// A host name or address: letters, digits, '.', '-', ':' (IPv6), '%' (a zone); nothing else.
bool PlainHost(const WCHAR* wide, size_t room, char* out, size_t outRoom) {
  size_t n = 0;
  for (; n < room && wide[n]; n++) {
    const WCHAR c = wide[n];
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == ':' || c == '%';
    if (!ok || n + 1 >= outRoom) return false;
    out[n] = static_cast<char>(c);
  }
  if (n == 0 || n == room) return false;  // empty, or not ended inside its field
  out[n] = '\0';
  return true;
}

}  // namespace

bool AskPortAddress(const MONITOR2* portMonitor, HANDLE portMonitorHandle, const WCHAR* portName,
                    PortAddress* out) {
  memset(out, 0, sizeof *out);
  if (!HasXcv(portMonitor) || !portName) return false;
  HANDLE xcv = NULL;
  if (!portMonitor->pfnXcvOpenPort(portMonitorHandle, portName, SERVER_ACCESS_ADMINISTER, &xcv)) {
    return false;
  }
  ConfigInfoData1 ask = {};
  ask.dwVersion = 1;
  PortData1 answer;
  memset(&answer, 0, sizeof answer);
  DWORD needed = 0;
  const DWORD error =
      portMonitor->pfnXcvDataPort(xcv, L"GetConfigInfo", reinterpret_cast<BYTE*>(&ask), sizeof ask,
                                  reinterpret_cast<BYTE*>(&answer), sizeof answer, &needed);
  portMonitor->pfnXcvClosePort(xcv);
  if (error != ERROR_SUCCESS || needed < sizeof answer) return false;
  if (!PlainHost(answer.sztHostAddress, sizeof answer.sztHostAddress / sizeof(WCHAR), out->host,
                 sizeof out->host)) {
    memset(out, 0, sizeof *out);
    return false;
  }
  out->port = answer.dwPortNumber;
  out->protocol = answer.dwProtocol;
  return true;
}
