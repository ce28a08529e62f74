// What stands at the far end of a port, as a table of calls: a job's start and end, bytes each
// way, the device ID. The emulated printer gives one (EmulatedPrinterDevice, host/printer); the
// scripted port monitor passes a port's calls to one set with ScriptedPortSetDevice in place of
// its script. The emu: and tcp: port monitors do not use it: they call the emulated printer's
// functions and the network directly.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct PortDevice;

struct PortDeviceOps {
  // A job starts (the port monitor's StartDocPort) / ends (its EndDocPort).
  void (*jobStart)(PortDevice* device, uint32_t jobId);
  void (*jobEnd)(PortDevice* device);
  // Bytes from the host; returns how many the device took: all of them, or fewer (possibly 0)
  // while it can take no more, as the emulated printer with a full page buffer.
  size_t (*write)(PortDevice* device, const uint8_t* data, size_t count);
  // Reply bytes for the host: copies at most room bytes, returns the count (0: nothing waits).
  size_t (*read)(PortDevice* device, uint8_t* buffer, size_t room);
  // The IEEE 1284 device ID, NUL-terminated; NULL when the device gives none.
  const char* (*deviceId)(PortDevice* device);
};

struct PortDevice {
  const PortDeviceOps* ops;
};
