// Recording fake of the spooler's client functions (OpenPrinterA, ClosePrinter, SetPrinterA,
// GetPrinterA, SetPrinterDataA) for native tests. Every call is appended to one journal.
#pragma once

#include "win32.h"

enum FakeSpoolerCallKind {
  SPOOL_OPEN_PRINTER,
  SPOOL_CLOSE_PRINTER,
  SPOOL_SET_PRINTER,  // level 0, status in place of the structure
  SPOOL_GET_PRINTER,
  SPOOL_SET_PRINTER_DATA,  // REG_DWORD value
};

struct FakeSpoolerCall {
  FakeSpoolerCallKind kind;
  HANDLE printer;  // handle passed (or returned, for open)
  char name[64];   // printer name (open) or value name (set data)
  DWORD level;     // SetPrinterA / GetPrinterA level
  DWORD value;     // status (SetPrinterA), DWORD value (SetPrinterDataA)
  DWORD command;   // SetPrinterA command
};

// Forgets every call and printer; printers named in FakeSpoolerAddPrinter open successfully,
// any other name fails (as the spooler does for unknown printers) unless openAny is set.
void FakeSpoolerReset(bool openAny = true);
void FakeSpoolerAddPrinter(const char* name);
// Number of calls recorded, and one of them (index from 0).
int FakeSpoolerCallCount();
FakeSpoolerCall FakeSpoolerCallAt(int index);
// Counts of one kind, and the value of the last SetPrinterA (status) / -1 when none.
int FakeSpoolerCount(FakeSpoolerCallKind kind);
long long FakeSpoolerLastStatus();
// Printer handles currently open (OpenPrinterA minus ClosePrinter).
int FakeSpoolerOpenHandles();
