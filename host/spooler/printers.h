// The stand-in spooler's printers: names, their status, printer data and jobs. It answers the
// printer functions that a language monitor calls through our winspool.drv (the ANSI ones and
// the NT family's wide ones), and records each call in the timeline. Printers are kept by their
// wide name: an A call's name is read in the ANSI code page, a W call's as it is. The names
// this program passes (and the timeline shows) are its text: ANSI in Windows 95 mode, UTF-8 in
// NT mode.
#pragma once

#include <stdint.h>

#include "winspool/spooler_client.h"

// The program's names are UTF-8 (NT mode) from now on, not ANSI.
void PrinterNamesAreUtf8(bool utf8);
// The printers are those of a clustered spooler's virtual server: opened as "\\server\NAME"
// (server letter case aside), not by NAME alone.
void PrintersOfServer(const char* server);
// Adds a printer (at most 8); false when there is no room or the name is taken.
bool AddPrinter(const char* name);
// The user renames a printer: handles opened before stay its handles; false when there is no
// printer from or the name to is taken.
bool RenamePrinter(const char* from, const char* to);
// The printer's current status (0 when unknown).
uint32_t PrinterStatus(const char* name);
// A REG_DWORD printer data value; false when not set.
bool PrinterDataValue(const char* name, const char* valueName, uint32_t* value);
// The spooler has job jobId for the printer from now on (a job the monitor may end with SetJobW).
void PrinterJobAdded(const char* name, uint32_t jobId);
// How often the monitor has told (SetJobW JOB_CONTROL_LAST_PAGE_EJECTED) that the job's last
// page is out: once is right; the spooler gives up the job then and refuses the later ones.
uint32_t PrinterJobEjects(const char* name, uint32_t jobId);
// Handles the monitor holds open now (all printers).
int OpenPrinterHandles();

// The table handed to winspool.drv.
const SpoolerClientOps* PrinterClientOps();

// Spooler status bits as their PRINTER_STATUS_ names, joined with "+", or "0".
void PrinterStatusNames(uint32_t status, char* out, size_t room);
