// The port below the language monitor in the waiting-time measurement: one emulated printer
// (host/printer) behind a 13-entry port monitor that behaves as qvlspool's emu: port does (a
// poll thread lets pages print every 20 ms; WritePort waits up to 250 ms for a printer that
// takes nothing, then reports what it took), and in addition lets the measurement bring up a
// condition at a moment it chooses and notes when the monitor's calls see the reply. Windows
// only.
#pragma once

#include <stdint.h>

#include "device_control.h"
#include "emulated_printer.h"
#include "spooler_win95.h"

// Milliseconds of a clock every process under one wineserver shares (QueryPerformanceCounter).
double NowMs();

// What the port saw of one reply, in NowMs() time; 0 for what has not happened yet.
struct ReplyStamps {
  double queued;     // the printer queued the reply (the condition came up)
  double zeroWrite;  // the first WritePort after it that took nothing returned to the monitor
  double read;       // the ReadPort that returned the reply's bytes returned to the monitor
};

// The table (OpenPort takes "emu:QV-L3820" and the other models of host/printer); kind: how
// GetPrinterDataFromPort answers for the device ID. One port at a time.
MONITOR* WaitPortMonitor(PortKind kind, uint32_t pageMs);

// Brings up a condition on the open port's printer now; the reply it queues is the one the
// stamps follow from now on. Returns its code (0: no port open).
uint32_t WaitPortRaise(PrinterCondition condition, uint32_t tray, uint32_t size);
// The user puts every condition right.
void WaitPortRemedy();
// The stamps of the reply of the latest WaitPortRaise.
ReplyStamps WaitPortStamps();
// Bytes the printer has taken since the port opened.
uint64_t WaitPortBytesTaken();
