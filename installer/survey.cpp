// What of the product a system has: its files in the system directory, the monitor's
// registration and the sign-in start. Status shows it; install and uninstall choose by it.
#include <string.h>

#include "installer.h"

int FindInstalled(const System& sys, Installed* found) {
  ZeroMemory(found, sizeof *found);
  int code = ListProductFiles(sys.systemDir, false, false, &found->files);
  if (code != kExitOk) return code;
  for (int i = 0; i < found->files.count; i++) {
    const char* name = found->files.names[i];
    if (lstrcmpiA(name, QVL_MONITOR_DLL) == 0) {
      found->monitorDll = true;
    } else if (lstrcmpiA(name, QVL_DISPLAY_EXE) == 0) {
      found->display = true;
    } else if (IsStatusFileName(name)) {
      found->statusFiles++;
    }
  }
  code = FindMonitor(sys, &found->registered, found->registeredDll, found->environment);
  if (code != kExitOk || !sys.nt) return code;
  SignInCommand(sys, found->expectedSignIn, sizeof found->expectedSignIn);
  return QuerySignInStart(found->signIn, sizeof found->signIn);
}

bool IsClientInstall(const System& sys, const Installed& found) {
  return sys.nt && found.signIn[0] && !found.registered && !found.monitorDll;
}
