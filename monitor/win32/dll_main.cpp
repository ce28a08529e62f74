// The DLL's start-up: the C runtime calls DllMain, which hands over to DllEntryPoint.
#include "monitor_entry.h"
#include "notify_display.h"
#include "settings.h"
#include "guarded_heap.h"
#include "nt/nt_monitor.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  // Unloaded while the process goes on (the NT spooler after Shutdown): the status board's
  // handles go too; display programs that hold the board keep it.
  if (reason == DLL_PROCESS_DETACH && reserved == NULL) CloseSessionBoard();
  return DllEntryPoint(instance, reason, reserved);
}
