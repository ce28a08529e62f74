// Playing the spooler: the steps of a run against the language monitor's table (or, with
// --direct, the port monitor's), and the throughput run.
#pragma once

#include <vector>

#include "spooler_win95.h"
#include "spool_options.h"

struct SpoolTarget {
  MONITOR* ops;    // the table InitializeMonitorEx filled, or the port monitor's (direct)
  MONITOR* lower;  // the port monitor's table, as OpenPortEx receives it
  bool direct;
};

// Runs the steps in order; a port still open at the end is closed (its job ended first).
// Returns 0 when every step ran (a failed operation is a fact of the timeline, not an error).
int RunSteps(const SpoolOptions& options, const SpoolTarget& target,
             const std::vector<Step>& steps);

// The same generated job through the language monitor and straight to the port monitor, with
// the bytes the emulated printer took checked against the job's; prints both rates.
int RunBench(const SpoolOptions& options, const SpoolTarget& viaMonitor, const SpoolTarget& direct);
