// The monitor's registration with the spooler (AddMonitorW on NT, AddMonitorA or the Monitors
// key on the Windows 95 generation) and the display program's sign-in start (the Run value).
#include <stdio.h>
#include <string.h>

#include "installer.h"

namespace {

const wchar_t kMonitorNameW[] = L"" QVL_MONITOR_NAME;
const wchar_t kMonitorDllW[] = L"" QVL_MONITOR_DLL;
const char kMonitorKey[] = QVL_MONITORS_KEY "\\" QVL_MONITOR_NAME;

// 'IsNotOffered()' - the spooler says it cannot do this here (Windows 95 generation).
bool IsNotOffered(DWORD error) {
  return error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// 'FindMonitorNt()' - EnumMonitorsW at level 2, looking for our name.
int FindMonitorNt(const System& sys, bool* registered, char* dll, char* environment) {
  DWORD needed = 0;
  DWORD count = 0;
  SetLastError(ERROR_SUCCESS);
  if (!sys.enumMonitorsW(NULL, 2, NULL, 0, &needed, &count) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return ReportFailure("EnumMonitorsW", GetLastError());
  }
  BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, needed ? needed : 1));
  if (!buffer) return ReportFailure("LocalAlloc", GetLastError());
  int result = kExitOk;
  if (!sys.enumMonitorsW(NULL, 2, buffer, needed, &needed, &count)) {
    result = ReportFailure("EnumMonitorsW", GetLastError());
    count = 0;
  }
  const MONITOR_INFO_2W* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(buffer);
  for (DWORD i = 0; i < count; i++) {
    char name[MAX_PATH];
    Narrow(monitors[i].pName, name, sizeof name);
    if (lstrcmpiA(name, QVL_MONITOR_NAME) != 0) continue;
    *registered = true;
    if (dll) Narrow(monitors[i].pDLLName, dll, MAX_PATH);
    if (environment) Narrow(monitors[i].pEnvironment, environment, MAX_PATH);
    break;
  }
  LocalFree(buffer);
  return result;
}

// 'FindMonitorKey()' - the Windows 95 generation: the monitor's key and its Driver value.
int FindMonitorKey(bool* registered, char* dll) {
  HKEY key;
  LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_QUERY_VALUE, &key);
  if (error == ERROR_FILE_NOT_FOUND) return kExitOk;
  if (error != ERROR_SUCCESS) return ReportFailure("RegOpenKeyExA (the monitor's key)", error);
  *registered = true;
  if (dll) {
    DWORD type = 0;
    DWORD size = MAX_PATH - 1;
    if (RegQueryValueExA(key, "Driver", NULL, &type, reinterpret_cast<BYTE*>(dll), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
      size = 0;
    }
    dll[size] = '\0';
  }
  RegCloseKey(key);
  return kExitOk;
}

// 'WriteMonitorKey()' - the Windows 95 generation without AddMonitorA: the key by hand.
int WriteMonitorKey() {
  HKEY key;
  LONG error =
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
  if (error != ERROR_SUCCESS) return ReportFailure("RegCreateKeyExA (the monitor's key)", error);
  error = RegSetValueExA(key, "Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(QVL_MONITOR_DLL),
                         sizeof QVL_MONITOR_DLL);
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) return ReportFailure("RegSetValueExA (Driver)", error);
  return kExitOk;
}

}  // namespace

int FindMonitor(const System& sys, bool* registered, char* dll, char* environment) {
  *registered = false;
  if (dll) dll[0] = '\0';
  if (environment) environment[0] = '\0';
  if (sys.nt) return FindMonitorNt(sys, registered, dll, environment);
  if (environment) strcpy(environment, QVL_WIN95_ENVIRONMENT);
  return FindMonitorKey(registered, dll);
}

int RegisterMonitor(const System& sys, bool* restart) {
  *restart = false;
  if (sys.nt) {
    MONITOR_INFO_2W info = {const_cast<LPWSTR>(kMonitorNameW),
                            const_cast<LPWSTR>(sys.ntEnvironment),
                            const_cast<LPWSTR>(kMonitorDllW)};
    SetLastError(ERROR_SUCCESS);
    if (!sys.addMonitorW(NULL, 2, reinterpret_cast<LPBYTE>(&info))) {
      char what[160];
      char environment[40];
      Narrow(sys.ntEnvironment, environment, sizeof environment);
      snprintf(what, sizeof what, "AddMonitorW (\"%s\", \"%s\", %s)", QVL_MONITOR_NAME, environment,
               QVL_MONITOR_DLL);
      DWORD error = GetLastError();
      int code = ReportFailure(what, error);
      if (error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND ||
          error == ERROR_BAD_EXE_FORMAT) {
        fprintf(stderr,
                "qvlinst: the spooler could not load %s or find its "
                "InitializePrintMonitor2: is it the build for this system?\n",
                QVL_MONITOR_DLL);
      }
      return code;
    }
    printf("registered the monitor \"%s\" (%s) with the spooler\n", QVL_MONITOR_NAME,
           QVL_MONITOR_DLL);
    return kExitOk;
  }
  if (sys.addMonitorA) {
    MONITOR_INFO_2A info = {const_cast<LPSTR>(QVL_MONITOR_NAME),
                            const_cast<LPSTR>(QVL_WIN95_ENVIRONMENT),
                            const_cast<LPSTR>(QVL_MONITOR_DLL)};
    SetLastError(ERROR_SUCCESS);
    if (sys.addMonitorA(NULL, 2, reinterpret_cast<LPBYTE>(&info))) {
      printf("registered the monitor \"%s\" (%s) with the spooler\n", QVL_MONITOR_NAME,
             QVL_MONITOR_DLL);
      return kExitOk;
    }
    DWORD error = GetLastError();
    if (!IsNotOffered(error)) return ReportFailure("AddMonitorA", error);
  }
  int code = WriteMonitorKey();
  if (code != kExitOk) return code;
  printf(
      "registered the monitor \"%s\" (%s) in the registry; restart Windows so that the "
      "spooler loads it\n",
      QVL_MONITOR_NAME, QVL_MONITOR_DLL);
  *restart = true;
  return kExitOk;
}

int UnregisterMonitor(const System& sys, bool* restart) {
  *restart = false;
  if (sys.nt) {
    SetLastError(ERROR_SUCCESS);
    if (!sys.deleteMonitorW(NULL, const_cast<LPWSTR>(sys.ntEnvironment),
                            const_cast<LPWSTR>(kMonitorNameW))) {
      return ReportFailure("DeleteMonitorW (\"" QVL_MONITOR_NAME "\")", GetLastError());
    }
    printf("removed the monitor \"%s\" from the spooler\n", QVL_MONITOR_NAME);
    return kExitOk;
  }
  if (sys.deleteMonitorA) {
    SetLastError(ERROR_SUCCESS);
    if (sys.deleteMonitorA(NULL, NULL, const_cast<LPSTR>(QVL_MONITOR_NAME))) {
      printf("removed the monitor \"%s\" from the spooler\n", QVL_MONITOR_NAME);
      return kExitOk;
    }
    DWORD error = GetLastError();
    if (!IsNotOffered(error)) return ReportFailure("DeleteMonitorA", error);
  }
  LONG error = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMonitorKey);
  if (error != ERROR_SUCCESS) return ReportFailure("RegDeleteKeyA (the monitor's key)", error);
  printf(
      "removed the monitor \"%s\" from the registry; the spooler lets it go when Windows "
      "restarts\n",
      QVL_MONITOR_NAME);
  *restart = true;
  return kExitOk;
}

bool SignInCommand(const System& sys, char* out, DWORD size) {
  int length =
      snprintf(out, size, "\"%s\\%s\" %s", sys.systemDir, QVL_DISPLAY_EXE, QVL_SIGNIN_SWITCH);
  return length > 0 && static_cast<DWORD>(length) < size;
}

int SetSignInStart(const System& sys) {
  char command[MAX_PATH + 32];
  if (!SignInCommand(sys, command, sizeof command)) {
    return ReportFailure("the sign-in command", ERROR_FILENAME_EXCED_RANGE);
  }
  HKEY key;
  LONG error =
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, QVL_RUN_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
  if (error != ERROR_SUCCESS)
    return ReportFailure("RegCreateKeyExA (HKLM\\" QVL_RUN_KEY ")", error);
  error = RegSetValueExA(key, QVL_SIGNIN_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(command),
                         static_cast<DWORD>(strlen(command) + 1));
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) {
    return ReportFailure("RegSetValueExA (\"" QVL_SIGNIN_VALUE "\" under HKLM\\" QVL_RUN_KEY ")",
                         error);
  }
  printf("the status display program starts at every sign-in: %s\n", command);
  return kExitOk;
}

int RemoveSignInStart(bool* removed) {
  *removed = false;
  HKEY key;
  LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, QVL_RUN_KEY, 0, KEY_SET_VALUE, &key);
  if (error == ERROR_FILE_NOT_FOUND) return kExitOk;
  if (error != ERROR_SUCCESS) return ReportFailure("RegOpenKeyExA (HKLM\\" QVL_RUN_KEY ")", error);
  error = RegDeleteValueA(key, QVL_SIGNIN_VALUE);
  RegCloseKey(key);
  if (error == ERROR_FILE_NOT_FOUND) return kExitOk;
  if (error != ERROR_SUCCESS) {
    return ReportFailure("RegDeleteValueA (\"" QVL_SIGNIN_VALUE "\")", error);
  }
  printf("removed the sign-in start of the status display program\n");
  *removed = true;
  return kExitOk;
}

int QuerySignInStart(char* out, DWORD size) {
  out[0] = '\0';
  HKEY key;
  LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, QVL_RUN_KEY, 0, KEY_QUERY_VALUE, &key);
  if (error == ERROR_FILE_NOT_FOUND) return kExitOk;
  if (error != ERROR_SUCCESS) return ReportFailure("RegOpenKeyExA (HKLM\\" QVL_RUN_KEY ")", error);
  DWORD type = 0;
  DWORD length = size - 1;
  error =
      RegQueryValueExA(key, QVL_SIGNIN_VALUE, NULL, &type, reinterpret_cast<BYTE*>(out), &length);
  RegCloseKey(key);
  if (error == ERROR_FILE_NOT_FOUND) {
    length = 0;
  } else if (error != ERROR_SUCCESS) {
    return ReportFailure("RegQueryValueExA (\"" QVL_SIGNIN_VALUE "\")", error);
  } else if (type != REG_SZ && type != REG_EXPAND_SZ) {
    length = 0;
  }
  out[length < size ? length : size - 1] = '\0';
  return kExitOk;
}
