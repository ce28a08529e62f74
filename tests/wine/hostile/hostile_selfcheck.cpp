// Scenario "selfcheck": a crashing child is seen as crashed, which proves that the crash
// detection the other scenarios rely on works ("crash" is that child).
#include "hostile_driver.h"

namespace {

const DWORD kCrashSeenMs = 10000;

}  // namespace

int Crash() {
  Sleep(200);
  volatile int* nowhere = NULL;
  *nowhere = 1;
  return 0;
}

int SelfCheck(const char* self) {
  std::string commandLine = std::string("\"") + self + "\" crash";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child = {};
  if (!CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) {
    Fail("cannot start the crashing child (error %lu)", GetLastError());
    return 1;
  }
  if (WaitForSingleObject(child.hProcess, kCrashSeenMs) != WAIT_OBJECT_0) {
    Fail("a crashing process is still there after %lu ms: a debugger or crash dialog holds it",
         kCrashSeenMs);
    TerminateProcess(child.hProcess, 1);
  } else {
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    if (code != EXCEPTION_ACCESS_VIOLATION) {
      Fail("a crashing process ended with 0x%08lX, not 0x%08lX", code,
           static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    } else {
      Note("a crash ends the process with 0x%08lX", code);
    }
  }
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return failures ? 1 : 0;
}
