// The monitor's four timeout settings, read from the registry with defaults written back.
#pragma once

#include "win32.h"

// The four time-outs of one monitor instance (milliseconds).
struct MonitorSettings {
  DWORD errorTimeout;
  DWORD abortTimeout;
  DWORD idleTimeout4L;     // a deferred job end of the maker's printers completes after this
  DWORD idleTimeoutOther;  // ... and of every other printer after this
};

// The registry values that hold them (REG_DWORD; L"" NAME gives the wide name), in reading
// order, and their defaults.
#define ERROR_TIMEOUT_NAME "ErrorTimeout"
#define ABORT_TIMEOUT_NAME "AbortTimeout"
#define IDLE_TIMEOUT_4L_NAME "IdleTimeout4L"
#define IDLE_TIMEOUT_OTHER_NAME "IdleTimeoutOther"
inline constexpr MonitorSettings DEFAULT_SETTINGS = {
    1800000,  // 30 minutes
    60000,    // 1 minute
    180000,   // 3 minutes
    900000,   // 15 minutes
};

// The Windows 95 face's settings: module-wide, in the key named by RegistryRoot.
extern DWORD ErrorTimeout;      // default 1800000 ms
extern DWORD AbortTimeout;      // default 60000 ms
extern DWORD IdleTimeout4L;     // default 180000 ms
extern DWORD IdleTimeoutOther;  // default 900000 ms

// Registry key below HKEY_LOCAL_MACHINE (guarded copy), or NULL.
extern char* RegistryRoot;

void ReadMonitorSettings();
