// A port monitor table that stands between the language monitor and the real port monitor:
// it passes every call down unchanged, records it in the timeline (bytes written, replies read
// split at their form feeds, drum counter resets seen), injects faults on request, and keeps
// the counts qvlspool needs to wait for a deferred job end and to check a job's bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "spooler_win95.h"

struct PortFaults {
  // WritePort calls are numbered from 1: calls shortWriteFrom to shortWriteFrom +
  // shortWriteCount - 1 write at most shortWriteLimit bytes (0: nothing at all).
  uint32_t shortWriteFrom, shortWriteCount, shortWriteLimit;
  // ReadPort calls readFailFrom to readFailFrom + readFailCount - 1 fail (ERROR_IO_DEVICE)
  // without reading, so no reply byte is lost.
  uint32_t readFailFrom, readFailCount;
};

// The table to put in front of lower; faults may be NULL. ntControls: GetPrinterDataFromPort's
// control ids are the NT family's device I/O control codes, recorded in hex.
MONITOR* PortTraceMonitor(MONITOR* lower, const PortFaults* faults, bool ntControls);

// The spooler's buffer of the WritePort under way: lower writes from inside it are job bytes,
// the others were added by the language monitor.
void PortTraceSetJobBuffer(const void* start, size_t length);

struct PortTraceCounts {
  uint32_t startDocs, endDocs;  // lower job starts and ends
  uint64_t jobBytes;            // job bytes written in the current lower job
  uint32_t jobCrc;              // and their CRC-32
  uint64_t addedBytes;          // bytes the language monitor added in it
  uint64_t streamBytes;         // every byte written in it, in order
  uint32_t streamCrc;           //
};
void PortTraceGetCounts(PortTraceCounts* out);
