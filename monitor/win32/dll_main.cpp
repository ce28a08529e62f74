// The DLL's start-up: the C runtime calls DllMain, which hands over to DllEntryPoint.
#include "monitor_entry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  return DllEntryPoint(instance, reason, reserved);
}
