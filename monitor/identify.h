// Which printer sits on a port: its device ID sets the model flags and the model number.
#pragma once

#include "port_record.h"

// Decimal number after "QV-L" in the latest device ID read on any port; 0 at load. The Windows
// 95 face posts it with each code, as its display program expects; the NT face publishes each
// port's own (PortRecord::modelNumber).
extern DWORD IdentifiedModelNumber;

enum { DEVICE_ID_BUFFER = 1024 };

// The flags a model field decides afresh; PF_FAMILY_MAKER is only ever set.
enum : DWORD { DEVICE_ID_MODEL_FLAGS = PF_MODEL_3820 | PF_MODEL_3470 | PF_FAMILY_MODEL };

// What a device ID says of its printer, read without a port.
struct DeviceIdFields {
  bool modelSeen;        // a MODEL: or MDL: field: the text identifies the printer
  DWORD modelFlags;      // the model flags its last model field gives (with modelSeen)
  bool maker;            // a MANUFACTURER: or MFG: field names the maker
  bool modelNumberSeen;  // a model field began with "QV-L"
  DWORD modelNumber;     // the number after "QV-L" of the last such field
};

// Reads the fields of a device ID. Writes into text: each field's ";" becomes NUL.
DeviceIdFields ReadDeviceIdFields(char* text);
// A port's flags after a device ID with these fields was read on it.
DWORD FlagsAfterDeviceId(DWORD flags, const DeviceIdFields& fields);

// 1 when a device ID with a model field was read through the port monitor, else 0.
DWORD IdentifyPrinter(PortRecord* port);
// Reads text as the port's device ID and stores what it found: the port's model flags and the
// model number (the port's and the module's). 1 when text held a model field. Writes into text.
DWORD ParseDeviceId(PortRecord* port, char* text);
