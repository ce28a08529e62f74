// Identifying the printer on a port by the device ID its port monitor reports.
#include "identify.h"

DWORD IdentifyPrinter(PortRecord* port) {
  if (!port->portMonitor.pfnGetPrinterDataFromPort) return 0;
  // One byte more than offered, so the text is terminated even when all 1024 bytes are filled.
  char deviceId[DEVICE_ID_BUFFER + 1];
  for (char& c : deviceId) c = 0;
  DWORD returned = 0;
  if (!port->portMonitor.pfnGetPrinterDataFromPort(port->hPort, CONTROL_ID_DEVICE_ID, NULL, NULL, 0,
                                                   deviceId, DEVICE_ID_BUFFER, &returned) ||
      returned == 0) {
    return 0;
  }
  deviceId[DEVICE_ID_BUFFER] = '\0';
  return ParseDeviceId(port, deviceId);
}
