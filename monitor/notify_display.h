// Forwards the status codes of the maker's printers to the display program.
#pragma once

#include "port_record.h"

// Last of 40556, 40558, 40559 posted (0: none); shared by all ports.
extern DWORD LastRepeatCode;

void NotifyDisplay(PortRecord* port, DWORD code);
void EnsureDisplayProgram();
DWORD PublishPrinterName(PortRecord* port);
// TRUE when port is the one whose printer the display program was last told about; it is then
// forgotten (its status thread ends, and with it the dialog of its printer).
bool ForgetDisplayedPort(PortRecord* port);
// Closes the monitor's one handle to the shared printer name (process detach).
void ReleaseSharedPrinterName();
