// Forwards the status codes of the maker's printers to the display program.
#pragma once

#include "port_record.h"

// Last of 40556, 40558, 40559 posted (0: none); shared by all ports.
extern volatile DWORD LastRepeatCode;

void NotifyDisplay(PortRecord* port, DWORD code);
void EnsureDisplayProgram();
DWORD PublishPrinterName(PortRecord* port);
// Closes the monitor's one handle to the shared printer name (process detach).
void ReleaseSharedPrinterName();
