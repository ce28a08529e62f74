// What stands at the far end of a port: the printer (an emulated one, a scripted one in tests,
// or a network printer). The port monitors of host/portmon drive a device through this table.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct PortDevice;

struct PortDeviceOps {
  // A job starts (the port monitor's StartDocPort) / ends (its EndDocPort).
  void (*jobStart)(PortDevice* device, uint32_t jobId);
  void (*jobEnd)(PortDevice* device);
  // Bytes from the host; returns how many the device took (all of them, normally).
  size_t (*write)(PortDevice* device, const uint8_t* data, size_t count);
  // Reply bytes for the host: copies at most room bytes, returns the count (0: nothing waits).
  size_t (*read)(PortDevice* device, uint8_t* buffer, size_t room);
  // The IEEE 1284 device ID, NUL-terminated; NULL when the device gives none.
  const char* (*deviceId)(PortDevice* device);
};

struct PortDevice {
  const PortDeviceOps* ops;
};
