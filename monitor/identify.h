// Which printer sits on a port: its device ID sets the model flags and the model number.
#pragma once

#include "port_record.h"

// Decimal number after "QV-L" in the latest device ID read on any port; 0 at load.
extern volatile DWORD ModelNumber;

enum { DEVICE_ID_BUFFER = 1024 };

// 1 when a device ID with a model field was read through the port monitor, else 0.
DWORD IdentifyPrinter(PortRecord* port);
// 1 when text held a model field; sets the PF_MODEL/PF_FAMILY flags. Writes into text.
DWORD ParseDeviceId(PortRecord* port, char* text);
