// A port monitor for benchmarks whose WritePort copies the bytes into a small sink and forgets
// them (the least a real port monitor does with them; one writer at a time), whose ReadPort has
// nothing to give and whose device ID names a PJL printer, so that the language monitor writes its
// prefix and runs a status thread over it.
#pragma once

#include "spooler_win95.h"

MONITOR* DiscardPortMonitor();
// Bytes taken by every WritePort so far (all ports).
unsigned long long DiscardedBytes();
