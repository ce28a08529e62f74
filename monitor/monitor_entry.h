// The library's entry points.
#pragma once

#include "spooler_win95.h"

extern "C" BOOL WINAPI InitializeMonitorEx(LPSTR registryRoot, MONITOR* monitor);
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved);

// The library's module (instance) handle, stored at process attach.
extern HINSTANCE MonitorModule;
