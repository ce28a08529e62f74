// Loading the language monitor and taking it into service as each spooler generation does:
// InitializeMonitorEx with the name of the monitor's key (Windows 95), InitializePrintMonitor2
// with the spooler's handle and registry callbacks (NT). Both record an `op` and report a
// failed set-up on stderr. Windows only.
#pragma once

#include "spool_options.h"
#include "spooler_nt.h"

// Fills table. false: reported.
bool StartWin95Monitor(const SpoolOptions& o, MONITOR* table);
// The MONITOR2 and monitor handle the DLL gave. false: reported.
bool StartNtMonitor(const SpoolOptions& o, MONITOR2** table, HANDLE* monitor);
