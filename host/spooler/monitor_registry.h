// The registry as the NT-family spooler offers it to a monitor: the ten MONITORREG callbacks
// over a key of the stand-in's own below HKEY_LOCAL_MACHINE. The monitor gets opaque key
// handles (the root's is MONITORINIT's hckRegistryRoot) that only these callbacks understand,
// and each callback checks that its last argument is the spooler handle handed out. Every call
// is a `registry` record of the timeline. Windows only.
#pragma once

#include <string>

#include "spooler_nt.h"

// Opens (creates) HKEY_LOCAL_MACHINE\root. failAll: every callback answers ERROR_ACCESS_DENIED
// without touching the registry. false when the key cannot be made (reported).
bool MonitorRegistryStart(const std::string& root, bool failAll);

// What goes into MONITORINIT.
HANDLE MonitorRegistrySpooler();
HANDLE MonitorRegistryRoot();
MONITORREG* MonitorRegistryCallbacks();

// The monitor has been shut down: its spooler handle is no longer valid (ERROR_INVALID_HANDLE).
void MonitorRegistryRetire();
