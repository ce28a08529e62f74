#include "discard_port_monitor.h"

#include <string.h>

#include <atomic>

namespace {

const char kDeviceId[] = "MFG:Acme;MDL:LaserPro 4;CMD:PJL,PCL;";

std::atomic<unsigned long long> discarded{0};
// One sink for all ports: the benchmarks write through one port at a time. (Not thread_local:
// a 64 KiB TLS block would be zeroed, and counted, in every thread of the process.)
char sink[64 * 1024];

BOOL WINAPI DiscardOpenPort(LPSTR, PHANDLE handle) {
  *handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(1));
  return TRUE;
}

BOOL WINAPI DiscardStartDocPort(HANDLE, LPSTR, DWORD, DWORD, LPBYTE) {
  return TRUE;
}

BOOL WINAPI DiscardWritePort(HANDLE, LPBYTE data, DWORD count, LPDWORD written) {
  for (DWORD at = 0; at < count; at += sizeof sink) {
    DWORD n = count - at < sizeof sink ? count - at : static_cast<DWORD>(sizeof sink);
    memcpy(sink, data + at, n);
  }
  discarded.fetch_add(count, std::memory_order_relaxed);
  *written = count;
  return TRUE;
}

BOOL WINAPI DiscardReadPort(HANDLE, LPBYTE, DWORD, LPDWORD read) {
  *read = 0;
  return TRUE;
}

BOOL WINAPI DiscardEndDocPort(HANDLE) {
  return TRUE;
}
BOOL WINAPI DiscardClosePort(HANDLE) {
  return TRUE;
}

BOOL WINAPI DiscardGetPrinterDataFromPort(HANDLE, DWORD controlId, LPSTR, LPSTR, DWORD, LPSTR out,
                                          DWORD outSize, LPDWORD returned) {
  if (controlId != CONTROL_ID_DEVICE_ID || !out || outSize < sizeof kDeviceId) return FALSE;
  memcpy(out, kDeviceId, sizeof kDeviceId);
  if (returned) *returned = sizeof kDeviceId - 1;
  return TRUE;
}

MONITOR kTable = {
    NULL,                           // EnumPorts
    DiscardOpenPort,                // OpenPort
    NULL,                           // OpenPortEx
    DiscardStartDocPort,            // StartDocPort
    DiscardWritePort,               // WritePort
    DiscardReadPort,                // ReadPort
    DiscardEndDocPort,              // EndDocPort
    DiscardClosePort,               // ClosePort
    NULL,                           // AddPort
    NULL,                           // ConfigurePort
    NULL,                           // DeletePort
    DiscardGetPrinterDataFromPort,  // GetPrinterDataFromPort
    NULL,                           // SetPortTimeOuts
};

}  // namespace

MONITOR* DiscardPortMonitor() {
  return &kTable;
}
unsigned long long DiscardedBytes() {
  return discarded.load();
}
