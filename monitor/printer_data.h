// GetPrinterDataFromPort: device control passed down, memory sizes asked of the printer.
#pragma once

#include "port_record.h"

BOOL WINAPI GetPrinterDataFromPort(HANDLE port, DWORD controlId, LPSTR valueName, LPSTR inBuffer,
                                   DWORD inSize, LPSTR outBuffer, DWORD outSize, LPDWORD returned);
