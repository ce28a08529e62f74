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
  bool registered = false;
  char dll[MAX_PATH];
  int code = FindMonitor(sys, &registered, dll, NULL);
  if (code != kExitOk) return code;
  if (registered) {
    fprintf(stderr, "qvlinst: the monitor \"%s\" is installed already (with %s)\n",
            QVL_MONITOR_NAME, dll[0] ? dll : "no DLL named");
    return kExitAlreadyInstalled;
  }
  // Files an uninstall could not delete are removed at the next restart, by name: the new
  // copies would go then, and the product be left in part. Nothing is installed until then.
  FileList pending;
  code = FindPendingRemovals(sys, sys.systemDir, &pending);
  if (code != kExitOk) return code;
  if (pending.count != 0) {
    fprintf(stderr,
            "qvlinst: files of an earlier uninstall are to be removed when Windows restarts:");
    for (int i = 0; i < pending.count; i++) fprintf(stderr, " %s", pending.names[i]);
    fprintf(stderr,
            "\nqvlinst: installing now would lose them at that restart; nothing was installed\n");
    return kExitRemovalPending;
  }

  FileList files;
  code = ListProductFiles(from, true, &files);
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
  bool registered = false;
  int code = FindMonitor(sys, &registered, NULL, NULL);
  if (code != kExitOk) return code;
  bool restart = false;
  if (registered) {
    if (sys.nt) RemovePrinterAddresses();
    code = UnregisterMonitor(sys, &restart);
    if (code != kExitOk) return code;
  } else {
    fprintf(stderr, "qvlinst: the monitor \"%s\" is not installed\n", QVL_MONITOR_NAME);
    code = kExitNotInstalled;
  }

  bool removed = false;
  if (sys.nt) code = Worse(code, RemoveSignInStart(&removed));
  FileList files;
  int listed = ListProductFiles(sys.systemDir, false, &files);
  code = Worse(code, listed);
  bool pending = false;
  if (listed == kExitOk)
    code = Worse(code, DeleteProductFiles(sys, files, sys.systemDir, &pending));
  if (restart || pending) code = Worse(code, kExitRestartNeeded);
  if (code == kExitOk) printf("uninstalled\n");
  if (code == kExitRestartNeeded) printf("uninstalled; restart Windows to finish\n");
  return code;
}

int Status(const System& sys) {
  bool complete = true;
  bool any = false;
  printf("%-16s %s\n", "system directory", sys.systemDir);

  FileList files;
  int code = ListProductFiles(sys.systemDir, false, &files);
  if (code != kExitOk) return code;
  const char* fixed[] = {QVL_MONITOR_DLL, QVL_DISPLAY_EXE};
  for (const char* name : fixed) {
    bool present = false;
    for (int i = 0; i < files.count; i++) present = present || lstrcmpiA(files.names[i], name) == 0;
    printf("%-16s %s\n", name, present ? "present" : "missing");
    complete = complete && present;
    any = any || present;
  }
  int statusFiles = 0;
  printf("%-16s", "status files");
  for (int i = 0; i < files.count; i++) {
    if (!IsStatusFileName(files.names[i])) continue;
    printf(" %s", files.names[i]);
    statusFiles++;
  }
  printf("%s\n", statusFiles ? "" : " none");
  complete = complete && statusFiles > 0;
  any = any || statusFiles > 0;

  bool registered = false;
  char dll[MAX_PATH];
  char environment[MAX_PATH];
  code = FindMonitor(sys, &registered, dll, environment);
  if (code != kExitOk) return code;
  if (registered) {
    printf("%-16s \"%s\" registered: %s, %s\n", "monitor", QVL_MONITOR_NAME, dll, environment);
    if (lstrcmpiA(dll, QVL_MONITOR_DLL) != 0) {
      printf("%-16s registered with %s, not %s\n", "", dll, QVL_MONITOR_DLL);
      complete = false;
    }
  } else {
    printf("%-16s \"%s\" not registered\n", "monitor", QVL_MONITOR_NAME);
    complete = false;
  }
  any = any || registered;

  if (sys.nt) {
    char expected[MAX_PATH + 32];
    char actual[MAX_PATH + 32];
    code = QuerySignInStart(actual, sizeof actual);
    if (code != kExitOk) return code;
    SignInCommand(sys, expected, sizeof expected);
    if (!actual[0]) {
      printf("%-16s none\n", "sign-in start");
      complete = false;
    } else if (lstrcmpiA(actual, expected) != 0) {
      printf("%-16s %s (expected %s)\n", "sign-in start", actual, expected);
      complete = false;
    } else {
      printf("%-16s %s\n", "sign-in start", actual);
    }
    any = any || actual[0];
  }
  printf("%-16s %s\n", "state",
         complete ? "installed"
         : any    ? "partly installed"
                  : "not installed");
  return complete ? kExitOk : kExitIncomplete;
}
