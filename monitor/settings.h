// The monitor's four timeout settings, read from the registry with defaults written back.
#pragma once

#include "win32.h"

extern DWORD ErrorTimeout;      // default 1800000 ms
extern DWORD AbortTimeout;      // default 60000 ms
extern DWORD IdleTimeout4L;     // default 180000 ms
extern DWORD IdleTimeoutOther;  // default 900000 ms

// Registry key below HKEY_LOCAL_MACHINE (guarded copy), or NULL.
extern char* RegistryRoot;

void ReadMonitorSettings();
