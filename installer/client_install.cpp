// 'qvlinst install --client': for a machine that prints to a print server's printers. Point and
// Print brings the printer's driver, not the status display program; the program reads each
// printer's status from the spooler as printer data, which reaches a client from the server.
// So a client gets qvlpanel.exe, the status message files and the sign-in start: no monitor,
// nothing under the spooler's keys, no spooler restart.
#include <stdio.h>

#include "installer.h"

int InstallClient(const System& sys, const char* from) {
  if (!sys.nt) {
    fprintf(stderr,
            "qvlinst: the client install is for NT-family Windows only: the Windows 95 "
            "generation gets no printer status from a print server\n");
    return kExitWrongBuild;
  }
  Installed found;
  int code = FindInstalled(sys, &found);
  if (code != kExitOk) return code;
  if (found.registered) {
    fprintf(stderr,
            "qvlinst: the monitor \"%s\" is installed here: the full install has everything "
            "a client install would add\n",
            QVL_MONITOR_NAME);
    return kExitOtherInstall;
  }
  if (IsClientInstall(sys, found)) {
    fprintf(stderr, "qvlinst: the client install is here already\n");
    return kExitAlreadyInstalled;
  }
  code = RefuseWhilePending(sys);
  if (code != kExitOk) return code;

  FileList files;
  code = ListProductFiles(from, true, true, &files);
  if (code != kExitOk) return code;
  code = CopyProductFiles(files, from, sys.systemDir);
  if (code == kExitOk) {
    code = SetSignInStart(sys);
    if (code != kExitOk) {
      bool pending = false;
      DeleteProductFiles(sys, files, sys.systemDir, &pending);
    }
  }
  if (code != kExitOk) {
    fprintf(stderr, "qvlinst: nothing was installed\n");
    return code;
  }
  printf("client installed (the monitor stays on the print server)\n");
  return kExitOk;
}
