// qvlinst's messages: a failed call named with the Windows error text, the exit code an error
// stands for, and what the user can do about it.
#include <stdio.h>
#include <string.h>

#include "installer.h"

int ExitCodeFor(DWORD error, int otherwise) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
      return kExitNoRights;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return kExitFilesInUse;
    case ERROR_PRINT_MONITOR_ALREADY_INSTALLED:
      return kExitAlreadyInstalled;
    case ERROR_UNKNOWN_PRINT_MONITOR:
      return kExitNotInstalled;
    case ERROR_PRINT_MONITOR_IN_USE:
      return kExitMonitorInUse;
    default:
      return otherwise;
  }
}

int ReportFailure(const char* what, DWORD error) {
  char text[256] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                error, 0, text, sizeof text, NULL);
  // The system's texts end with a full stop and a line break; the message goes on after them.
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ' || text[length - 1] == '.')) {
    text[--length] = '\0';
  }
  if (length == 0) strcpy(text, "no text for this error");
  fprintf(stderr, "qvlinst: %s failed: %s (error %lu)\n", what, text, error);
  return ExitCodeFor(error, kExitSystemError);
}

void Advise(int code) {
  const char* advice = NULL;
  switch (code) {
    case kExitUsage:
      advice =
          "usage: qvlinst install [--from DIR] | uninstall | status\n"
          "       qvlinst install --client [--from DIR]\n"
          "       qvlinst ipp-uri PORT [URI | --default]\n"
          "       qvlinst help    what each command does";
      break;
    case kExitNoRights:
      advice =
          "qvlinst: an administrator is needed: run it from a command prompt opened with "
          "\"Run as administrator\"";
      break;
    case kExitFilesInUse:
      advice = "qvlinst: close the status display program, or restart Windows, and try again";
      break;
    case kExitAlreadyInstalled:
      advice =
          "qvlinst: to reinstall, run \"qvlinst uninstall\" (restart Windows if it asks to), "
          "then the same \"qvlinst install\" again";
      break;
    case kExitOtherInstall:
      advice =
          "qvlinst: a print server gets the full install, each machine that prints to it "
          "the client install (\"qvlinst install --client\")";
      break;
    case kExitSourceMissing:
      advice =
          "qvlinst: run it from the folder with the files of the same build, or name that "
          "folder with --from DIR";
      break;
    case kExitRemovalPending:
      advice = "qvlinst: restart Windows, then run \"qvlinst install\" again";
      break;
    case kExitWrongBuild:
      advice =
          "qvlinst: use the qvlinst.exe of the build for this system, with the files "
          "beside it";
      break;
    case kExitMonitorInUse:
      advice =
          "qvlinst: remove the printers (or their drivers) that use the monitor, then "
          "uninstall again";
      break;
    default:
      break;
  }
  if (advice) fprintf(stderr, "%s\n", advice);
}

bool JoinPath(char* out, const char* dir, const char* name) {
  size_t dirLength = strlen(dir);
  bool slash = dirLength > 0 && dir[dirLength - 1] != '\\' && dir[dirLength - 1] != '/' &&
               dir[dirLength - 1] != ':';
  if (dirLength + (slash ? 1 : 0) + strlen(name) >= MAX_PATH) return false;
  strcpy(out, dir);
  if (slash) strcat(out, "\\");
  strcat(out, name);
  return true;
}

void Narrow(const wchar_t* text, char* out, int size) {
  if (!text || WideCharToMultiByte(CP_ACP, 0, text, -1, out, size, NULL, NULL) == 0) {
    out[0] = '\0';
  }
  out[size - 1] = '\0';
}
