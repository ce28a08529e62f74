// The NT face's settings: the four time-outs as values of the monitor's own key, reached only
// through the spooler's registry callbacks (on a clustered print server the key lives in the
// cluster's database). A callback that fails counts as a missing value: the default is used
// and written back, and a failed write is let be. A network port's printer address may be given
// as a value of the key's subkey "Ports" named as the port; it is only read.
#include "nt_monitor.h"

namespace {

struct NtSettingRow {
  const WCHAR* name;
  DWORD MonitorSettings::*value;
};

const NtSettingRow kNtSettings[] = {
    {L"" ERROR_TIMEOUT_NAME, &MonitorSettings::errorTimeout},
    {L"" ABORT_TIMEOUT_NAME, &MonitorSettings::abortTimeout},
    {L"" IDLE_TIMEOUT_4L_NAME, &MonitorSettings::idleTimeout4L},
    {L"" IDLE_TIMEOUT_OTHER_NAME, &MonitorSettings::idleTimeoutOther},
};

}  // namespace

void ReadNtSettings(MonitorInstance* instance) {
  NtInstance* nt = NtInstanceOf(instance);
  EnterCriticalSection(&nt->calls);
  const MONITORREG& reg = nt->registry;
  if (!nt->shutDown && reg.fpQueryValue != NULL) {
    for (const NtSettingRow& row : kNtSettings) {
      DWORD value = 0, type = 0, size = sizeof value;
      // The value's type is not looked at; anything that does not fit four bytes fails.
      if (reg.fpQueryValue(nt->registryRoot, row.name, &type, reinterpret_cast<PBYTE>(&value),
                           &size, nt->spooler) == ERROR_SUCCESS &&
          size == sizeof value) {
        instance->settings.*row.value = value;
        continue;
      }
      const DWORD defaultValue = DEFAULT_SETTINGS.*row.value;
      instance->settings.*row.value = defaultValue;
      if (reg.fpSetValue != NULL) {
        reg.fpSetValue(nt->registryRoot, row.name, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&defaultValue), sizeof defaultValue,
                       nt->spooler);
      }
    }
  }
  LeaveCriticalSection(&nt->calls);
}

bool ReadNtPortUri(MonitorInstance* instance, LPCWSTR portName, char* uri, DWORD room) {
  NtInstance* nt = NtInstanceOf(instance);
  bool found = false;
  uri[0] = '\0';
  EnterCriticalSection(&nt->calls);
  const MONITORREG& reg = nt->registry;
  HANDLE ports = NULL;
  if (!nt->shutDown && reg.fpOpenKey && reg.fpQueryValue && reg.fpCloseKey && portName &&
      reg.fpOpenKey(nt->registryRoot, L"" PORT_URIS_KEY_NAME, KEY_READ, &ports, nt->spooler) ==
          ERROR_SUCCESS) {
    WCHAR wide[PORT_URI_MAX];
    DWORD type = 0, size = sizeof wide - sizeof(WCHAR);
    if (reg.fpQueryValue(ports, portName, &type, reinterpret_cast<PBYTE>(wide), &size,
                         nt->spooler) == ERROR_SUCCESS &&
        type == REG_SZ && size < sizeof wide) {
      wide[size / sizeof(WCHAR)] = 0;
      // A URI is plain ASCII: anything else leaves the port on its default address.
      DWORD n = 0;
      for (; wide[n] && n + 1 < room && wide[n] > L' ' && wide[n] < 0x7F; n++) {
        uri[n] = static_cast<char>(wide[n]);
      }
      found = n > 0 && wide[n] == 0;
      uri[found ? n : 0] = '\0';
    }
    reg.fpCloseKey(ports, nt->spooler);
  }
  LeaveCriticalSection(&nt->calls);
  return found;
}
