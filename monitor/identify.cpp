// Identifying the printer on a port by the device ID its port monitor reports.
#include "identify.h"

#include "monitor_face.h"

DWORD IdentifyPrinter(PortRecord* port) {
  // One byte more than offered, so the text is terminated even when all 1024 bytes are filled.
  char deviceId[DEVICE_ID_BUFFER + 1];
  for (char& c : deviceId) c = 0;
  if (!FaceOf(port)->readDeviceId(port, deviceId)) return 0;
  deviceId[DEVICE_ID_BUFFER] = '\0';
  return ParseDeviceId(port, deviceId);
}
