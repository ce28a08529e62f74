// The stand-in spooler's printers: names, their status and printer data. It answers the
// printer functions that a language monitor calls through our winspool.drv, and records each
// call in the timeline.
#pragma once

#include <stdint.h>

#include "winspool/spooler_client.h"

// Adds a printer (at most 8); false when there is no room or the name is taken.
bool AddPrinter(const char* name);
// The printer's current status (0 when unknown).
uint32_t PrinterStatus(const char* name);
// A REG_DWORD printer data value; false when not set.
bool PrinterDataValue(const char* name, const char* valueName, uint32_t* value);
// Handles the monitor holds open now (all printers).
int OpenPrinterHandles();

// The table handed to winspool.drv.
const SpoolerClientOps* PrinterClientOps();

// Spooler status bits as their PRINTER_STATUS_ names, joined with "+", or "0".
void PrinterStatusNames(uint32_t status, char* out, size_t room);
