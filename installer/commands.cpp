// qvlinst's three commands: install, uninstall, status.
#include <stdio.h>
#include <string.h>

#include "installer.h"

namespace {

// 'Worse()' - of two exit codes, the one to report: failures first, then "not installed",
// then "restart needed".
int Worse(int a, int b) {
  int rank[] = {a, b};
  for (int& r : rank) {
    if (r == kExitRestartNeeded) {
      r = 1;
    } else if (r == kExitNotInstalled) {
      r = 2;
    } else if (r != kExitOk) {
      r = 3;
    }
  }
  return rank[1] > rank[0] ? b : a;
}

}  // namespace

int Install(const System& sys, const char* from) {
  Installed found;
  int code = FindInstalled(sys, &found);
  if (code != kExitOk) return code;
  if (found.registered) {
    fprintf(stderr, "qvlinst: the monitor \"%s\" is installed already (with %s)\n",
            QVL_MONITOR_NAME, found.registeredDll[0] ? found.registeredDll : "no DLL named");
    return kExitAlreadyInstalled;
  }
  if (IsClientInstall(sys, found)) {
    fprintf(stderr,
            "qvlinst: this machine has the client install (the status display program "
            "without the monitor); to install the monitor too, run \"qvlinst uninstall\", "
            "then \"qvlinst install\"\n");
    return kExitOtherInstall;
  }
  code = RefuseWhilePending(sys);
  if (code != kExitOk) return code;

  FileList files;
  code = ListProductFiles(from, true, false, &files);
  if (code != kExitOk) return code;
  code = CopyProductFiles(files, from, sys.systemDir);
  if (code != kExitOk) {
    fprintf(stderr, "qvlinst: nothing was installed\n");
    return code;
  }

  bool restart = false;
  code = RegisterMonitor(sys, &restart);
  if (code == kExitOk && sys.nt) {
    code = SetSignInStart(sys);
    if (code != kExitOk) UnregisterMonitor(sys, &restart);
  }
  if (code != kExitOk) {
    bool pending = false;
    DeleteProductFiles(sys, files, sys.systemDir, &pending);
    fprintf(stderr, "qvlinst: nothing was installed\n");
    return code;
  }
  printf("installed\n");
  return restart ? kExitRestartNeeded : kExitOk;
}

int Uninstall(const System& sys) {
  Installed found;
  int code = FindInstalled(sys, &found);
  if (code != kExitOk) return code;
  // A client install has no monitor to remove: its files and sign-in start are all of it.
  const bool client = IsClientInstall(sys, found);
  bool restart = false;
  if (found.registered) {
    if (sys.nt) RemovePrinterAddresses();
    code = UnregisterMonitor(sys, &restart);
    if (code != kExitOk) return code;
  } else if (!client) {
    fprintf(stderr, "qvlinst: the monitor \"%s\" is not installed\n", QVL_MONITOR_NAME);
    code = kExitNotInstalled;
  }

  bool removed = false;
  if (sys.nt) code = Worse(code, RemoveSignInStart(&removed));
  bool pending = false;
  code = Worse(code, DeleteProductFiles(sys, found.files, sys.systemDir, &pending));
  if (restart || pending) code = Worse(code, kExitRestartNeeded);
  const char* what = client ? "uninstalled the client install" : "uninstalled";
  if (code == kExitOk) printf("%s\n", what);
  if (code == kExitRestartNeeded) printf("%s; restart Windows to finish\n", what);
  return code;
}

int Status(const System& sys) {
  Installed found;
  int code = FindInstalled(sys, &found);
  if (code != kExitOk) return code;
  const bool client = IsClientInstall(sys, found);
  printf("%-16s %s\n", "system directory", sys.systemDir);

  // On a client the monitor and its DLL belong to the print server, not here.
  printf("%-16s %s\n", QVL_MONITOR_DLL,
         found.monitorDll ? "present"
         : client         ? "none (client install)"
                          : "missing");
  printf("%-16s %s\n", QVL_DISPLAY_EXE, found.display ? "present" : "missing");
  printf("%-16s", "status files");
  for (int i = 0; i < found.files.count; i++) {
    if (IsStatusFileName(found.files.names[i])) printf(" %s", found.files.names[i]);
  }
  printf("%s\n", found.statusFiles ? "" : " none");

  bool full = found.monitorDll && found.display && found.statusFiles > 0 && found.registered;
  if (found.registered) {
    printf("%-16s \"%s\" registered: %s, %s\n", "monitor", QVL_MONITOR_NAME, found.registeredDll,
           found.environment);
    if (lstrcmpiA(found.registeredDll, QVL_MONITOR_DLL) != 0) {
      printf("%-16s registered with %s, not %s\n", "", found.registeredDll, QVL_MONITOR_DLL);
      full = false;
    }
  } else {
    printf("%-16s \"%s\" not registered%s\n", "monitor", QVL_MONITOR_NAME,
           client ? " (client install: the print server has it)" : "");
  }

  bool signInRight = true;
  if (sys.nt) {
    signInRight = lstrcmpiA(found.signIn, found.expectedSignIn) == 0;
    if (!found.signIn[0]) {
      printf("%-16s none\n", "sign-in start");
    } else if (!signInRight) {
      printf("%-16s %s (expected %s)\n", "sign-in start", found.signIn, found.expectedSignIn);
    } else {
      printf("%-16s %s\n", "sign-in start", found.signIn);
    }
  }
  full = full && signInRight;
  const bool clientComplete = client && found.display && found.statusFiles > 0 && signInRight;
  const bool any = found.files.count > 0 || found.registered || found.signIn[0];
  printf("%-16s %s\n", "state",
         full             ? "installed"
         : clientComplete ? "client installed"
         : client         ? "partly installed (client install)"
         : any            ? "partly installed"
                          : "not installed");
  return full || clientComplete ? kExitOk : kExitIncomplete;
}
