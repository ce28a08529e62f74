// A port monitor for tests: ports whose far end is a script. It records every byte written
// (per job and in one stream), answers reads from queued reply bytes in pieces of a chosen
// size, answers control id 17 with a device ID, and fails on request. Ports can instead be
// backed by a PortDevice (an emulated printer).
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "spooler_win95.h"
#include "port_device.h"

struct ScriptedJob {
  DWORD jobId;
  DWORD level;
  std::string bytes;  // everything written while this job was open
  bool ended;
};

struct ScriptedPortState {
  // Counts of calls into the port monitor.
  int opens, closes, startDocs, endDocs, writes, reads, deviceIdQueries;
  bool open;               // between OpenPort and ClosePort
  bool jobOpen;            // between StartDocPort and EndDocPort
  std::string stream;      // every byte written, in order, in or outside jobs
  std::string outsideJob;  // bytes written while no job was open (drum resets)
  std::vector<ScriptedJob> jobs;
};

// The 13-entry table: OpenPort, StartDocPort, WritePort, ReadPort, EndDocPort, ClosePort and
// GetPrinterDataFromPort filled, the rest NULL.
MONITOR* ScriptedPortMonitor();

// Forgets every port.
void ScriptedPortsReset();

// Settings of a port by name (created when first named; case-insensitive).
void ScriptedPortSetDeviceId(const char* port, const char* deviceId);  // NULL: no answer
void ScriptedPortSetDevice(const char* port, PortDevice* device);
void ScriptedPortQueueReply(const char* port, const char* bytes, size_t count);
void ScriptedPortQueueReply(const char* port, const char* text);
size_t ScriptedPortPendingReply(const char* port);
// Largest count one ReadPort returns (0: no limit).
void ScriptedPortSetReadChunk(const char* port, DWORD bytes);

// Faults. Counts are "the next n calls"; -1 means every call from now on.
void ScriptedPortFailOpen(const char* port, int calls);
void ScriptedPortFailStartDoc(const char* port, int calls);
void ScriptedPortFailReads(const char* port, int calls);
// The next n WritePort calls write at most limit bytes (0: nothing).
void ScriptedPortLimitWrites(const char* port, int calls, DWORD limit);
// ReadPort blocks this many milliseconds before answering (a slow printer).
void ScriptedPortSetReadDelay(const char* port, DWORD milliseconds);

// A copy of the port's state.
ScriptedPortState ScriptedPortGetState(const char* port);
