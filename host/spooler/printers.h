// The stand-in spooler's printers: names, their status, printer data and jobs. It answers the
// printer functions that a language monitor calls through our winspool.drv (the ANSI ones and
// the NT family's wide ones), and records each call in the timeline. Each printer is also
// registered in the printer store (winspool/printer_store.h), with its status, jobs and the
// monitor's printer data (the Ex functions), for the readers of other processes. Printers are kept
// by their wide name: an A call's name is read in the ANSI code page, a W call's as it is. The
// names this program passes (and the timeline shows) are its text: ANSI in Windows 95 mode, UTF-8
// in NT mode.
#pragma once

#include <stdint.h>

#include "winspool/spooler_client.h"

// The program's names are UTF-8 (NT mode) from now on, not ANSI.
void PrinterNamesAreUtf8(bool utf8);
// The printers are those of a clustered spooler's virtual server: opened as "\\server\NAME"
// (server letter case aside), not by NAME alone.
void PrintersOfServer(const char* server);
// Adds a printer (at most 8) and registers it in the store, denied the rights given
// (STORE_DENY_ bits); false when there is no room or the name is taken.
bool AddPrinter(const char* name, uint32_t denied = 0);
// The monitor's writes of its Status value (and deletes of the drum reset request) are
// recorded as "session" records (NT, --watch-display).
void PrinterSessionRecords(bool on);
// The user renames a printer: handles opened before stay its handles; false when there is no
// printer from or the name to is taken.
bool RenamePrinter(const char* from, const char* to);
// The printer's current status (0 when unknown).
uint32_t PrinterStatus(const char* name);
// A REG_DWORD printer data value; false when not set.
bool PrinterDataValue(const char* name, const char* valueName, uint32_t* value);
// A job as the spooler queues it; names in the program's text ("": the user of this process,
// "\\" and this computer's name).
struct PrinterJob {
  uint32_t id;
  uint32_t pages;  // 0: not known
  const char* document;
  const char* owner;
  const char* machine;
};
// The spooler has the job for the printer from now on (a job the monitor may end with SetJobW);
// it is in the printer's queue until the monitor tells its last page ejected.
void PrinterJobAdded(const char* name, const PrinterJob& job);
// How often the monitor has told (SetJobW JOB_CONTROL_LAST_PAGE_EJECTED) that the job's last
// page is out: once is right; the spooler gives up the job then and refuses the later ones.
uint32_t PrinterJobEjects(const char* name, uint32_t jobId);
// Handles the monitor holds open now (all printers).
int OpenPrinterHandles();

// The table handed to winspool.drv.
const SpoolerClientOps* PrinterClientOps();

// Spooler status bits as their PRINTER_STATUS_ names, joined with "+", or "0".
void PrinterStatusNames(uint32_t status, char* out, size_t room);
