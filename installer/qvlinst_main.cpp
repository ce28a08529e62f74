// qvlinst: installs the QVL language monitor and status display program on Windows, removes
// them, and tells what is installed. See installer/README.md.
//   qvlinst install [--client] [--from DIR] | uninstall | status | ipp-uri PORT [URI | --default]
#include <stdio.h>
#include <string.h>

#include "installer.h"

namespace {

// 'ProgramFolder()' - the folder qvlinst.exe is in, the default source of the files.
bool ProgramFolder(char* out) {
  DWORD length = GetModuleFileNameA(NULL, out, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  char* slash = strrchr(out, '\\');
  if (!slash) return false;
  *slash = '\0';
  return true;
}

const char kHelp[] =
    "qvlinst: installs the QVL language monitor and status display program on Windows.\n"
    "\n"
    "  qvlinst install [--from DIR]  copy qvllink.dll, qvlpanel.exe and the status message files\n"
    "                                from DIR (default: qvlinst.exe's folder) into the system\n"
    "                                directory, register the monitor with the spooler and, on\n"
    "                                NT-family Windows, start qvlpanel.exe at each sign-in\n"
    "  qvlinst install --client [--from DIR]\n"
    "                                on a machine that prints to a print server (NT family):\n"
    "                                qvlpanel.exe, the status message files and the sign-in\n"
    "                                start only, no monitor (the server gets the full install)\n"
    "  qvlinst uninstall             unregister the monitor, remove the sign-in start and the\n"
    "                                files (files in use go at the next restart); removes a\n"
    "                                client install as well\n"
    "  qvlinst status                say what is installed where; exit 0 when installed (full\n"
    "                                or client)\n"
    "  qvlinst ipp-uri PORT [URI | --default]\n"
    "                                the address at which a network port's printer is asked for\n"
    "                                its status over IPP (default: ipp://HOST:631/ipp/print)\n"
    "  qvlinst help                  this text (also --help and /?)\n"
    "\n"
    "Run it as administrator. Exit codes: installer/README.md.\n";

bool IsHelp(const char* word) {
  return strcmp(word, "help") == 0 || strcmp(word, "--help") == 0 || strcmp(word, "-h") == 0 ||
         strcmp(word, "/?") == 0;
}

// 'Run()' - the command line's command, or kExitUsage.
int Run(int argc, char** argv) {
  if (argc < 2) return kExitUsage;
  const char* command = argv[1];
  const char* from = NULL;
  if (IsHelp(command)) {
    fputs(kHelp, stdout);
    return kExitOk;
  }
  if (strcmp(command, "ipp-uri") == 0) {
    if (argc != 3 && argc != 4) return kExitUsage;
    System sys;
    int code = LoadSystem(&sys);
    if (code == kExitOk) code = CheckBuild(sys);
    if (code != kExitOk) return code;
    return PrinterAddress(sys, argv[2], argc == 4 ? argv[3] : NULL);
  }
  bool client = false;
  if (strcmp(command, "install") == 0) {
    for (int i = 2; i < argc; i++) {
      if (strcmp(argv[i], "--client") == 0 && !client) {
        client = true;
      } else if (strcmp(argv[i], "--from") == 0 && !from && i + 1 < argc && argv[i + 1][0]) {
        from = argv[++i];
      } else {
        return kExitUsage;
      }
    }
  } else if (strcmp(command, "uninstall") != 0 && strcmp(command, "status") != 0) {
    fprintf(stderr, "qvlinst: unknown command '%s'\n", command);
    return kExitUsage;
  } else if (argc != 2) {
    return kExitUsage;
  }

  System sys;
  int code = LoadSystem(&sys);
  if (code == kExitOk) code = CheckBuild(sys);
  if (code != kExitOk) return code;
  if (strcmp(command, "status") == 0) return Status(sys);
  if (strcmp(command, "uninstall") == 0) return Uninstall(sys);
  char folder[MAX_PATH];
  if (!from) {
    if (!ProgramFolder(folder)) return ReportFailure("GetModuleFileNameA", GetLastError());
    from = folder;
  }
  return client ? InstallClient(sys, from) : Install(sys, from);
}

}  // namespace

int main(int argc, char** argv) {
  int code = Run(argc, argv);
  fflush(stdout);
  Advise(code);
  return code;
}
