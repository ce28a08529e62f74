// GetPrinterDataFromPort: device control passed down, memory sizes asked of the printer.
#pragma once

#include "port_record.h"

// The printer data values of the printer's memory: stored when the printer reports its memory,
// and the value names a query asks for (in any letter case).
inline constexpr char INSTALLED_MEMORY_VALUE[] = "Installed Memory";
inline constexpr char AVAILABLE_MEMORY_VALUE[] = "Available Memory";

BOOL WINAPI GetPrinterDataFromPort(HANDLE port, DWORD controlId, LPSTR valueName, LPSTR inBuffer,
                                   DWORD inSize, LPSTR outBuffer, DWORD outSize, LPDWORD returned);
