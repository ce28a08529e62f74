// GetPrinterDataFromPort: device control passed down, memory sizes asked of the printer.
#pragma once

#include "port_record.h"

// The printer data values of the printer's memory: stored when the printer reports its memory,
// and the value names a query asks for (in any letter case). L"" VALUE gives the wide forms.
#define INSTALLED_MEMORY_TEXT "Installed Memory"
#define AVAILABLE_MEMORY_TEXT "Available Memory"
inline constexpr char INSTALLED_MEMORY_VALUE[] = INSTALLED_MEMORY_TEXT;
inline constexpr char AVAILABLE_MEMORY_VALUE[] = AVAILABLE_MEMORY_TEXT;

// A value-name query of either face, for the port's installedMemory or availableMemory (field;
// NULL for any other name): asks the printer and answers the 4-byte size in outBuffer.
BOOL QueryPrinterMemory(PortRecord* record, DWORD* field, LPVOID outBuffer, DWORD outSize,
                        LPDWORD returned);

BOOL WINAPI GetPrinterDataFromPort(HANDLE port, DWORD controlId, LPSTR valueName, LPSTR inBuffer,
                                   DWORD inSize, LPSTR outBuffer, DWORD outSize, LPDWORD returned);
