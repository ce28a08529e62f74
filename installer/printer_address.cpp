// 'qvlinst ipp-uri PORT [URI | --default]': the address at which the monitor asks a network
// port's printer for its status over IPP, when the port's own address (its host, port 631,
// /ipp/print) is not the right one. Kept as the value PORT of the monitor's key's subkey
// "Ports" (HKLM, so only administrators can set it); the monitor reads it when a status thread
// of the port starts. The NT family only: the Windows 95 generation has no network status.
#include <stdio.h>
#include <string.h>

#include "installer.h"
#include "ipp_uri.h"

namespace {

const char kPortsKey[] = QVL_MONITORS_KEY "\\" QVL_MONITOR_NAME "\\Ports";

}  // namespace

int PrinterAddress(const System& sys, const char* port, const char* uri) {
  if (!sys.nt) {
    fprintf(stderr, "qvlinst: network printers get their status on NT-family Windows only\n");
    return kExitWrongBuild;
  }
  PrinterUri parsed;
  if (uri && strcmp(uri, "--default") != 0 && !ParsePrinterUri(uri, &parsed)) {
    fprintf(stderr,
            "qvlinst: '%s' is not a printer address: ipp://HOST[:PORT]/PATH, ipps://, http:// "
            "or https://\n",
            uri);
    return kExitUsage;
  }
  bool registered = false;
  int code = FindMonitor(sys, &registered, NULL, NULL);
  if (code != kExitOk) return code;
  if (!registered) {
    fprintf(stderr, "qvlinst: the monitor \"" QVL_MONITOR_NAME "\" is not installed\n");
    return kExitNotInstalled;
  }
  HKEY key;
  LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, NULL, 0,
                               KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &key, NULL);
  if (error != ERROR_SUCCESS) return ReportFailure("RegCreateKeyExA (the monitor's Ports)", error);
  if (!uri) {
    char value[PRINTER_URI_MAX] = "";
    DWORD type = 0, size = sizeof value - 1;
    error = RegQueryValueExA(key, port, NULL, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (error == ERROR_SUCCESS && type == REG_SZ) {
      printf("%s: %s\n", port, value);
    } else {
      printf("%s: its own address (ipp://HOST:631/ipp/print)\n", port);
    }
    return kExitOk;
  }
  if (strcmp(uri, "--default") == 0) {
    error = RegDeleteValueA(key, port);
    if (error == ERROR_FILE_NOT_FOUND) error = ERROR_SUCCESS;
  } else {
    error = RegSetValueExA(key, port, 0, REG_SZ, reinterpret_cast<const BYTE*>(uri),
                           static_cast<DWORD>(strlen(uri) + 1));
  }
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) return ReportFailure("setting the port's printer address", error);
  printf("%s: %s (from the port's next job on)\n", port,
         strcmp(uri, "--default") == 0 ? "its own address" : uri);
  return kExitOk;
}

void RemovePrinterAddresses() {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kPortsKey);  // none there is as good
}
