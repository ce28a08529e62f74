// Playing the spooler: the steps of a run against the language monitor (or, with --direct, the
// port monitor) of either generation, and the throughput run.
#pragma once

#include <vector>

#include "spool_calls.h"
#include "spool_options.h"

// Runs the steps in order; a port still open at the end is closed (its job ended first), then
// an NT monitor is shut down. Returns 0 when every step ran (a failed operation is a fact of
// the timeline, not an error).
int RunSteps(const SpoolOptions& options, SpoolCalls* calls, const std::vector<Step>& steps);

// The same generated job through the language monitor and straight to the port monitor, with
// the bytes the emulated printer took checked against the job's; prints both rates.
int RunBench(const SpoolOptions& options, SpoolCalls* viaMonitor, SpoolCalls* direct);
