// The four timeout settings: read from the monitor's registry key, defaults written back.
#include "settings.h"

#include "monitor_face.h"

DWORD ErrorTimeout = DEFAULT_SETTINGS.errorTimeout;
DWORD AbortTimeout = DEFAULT_SETTINGS.abortTimeout;
DWORD IdleTimeout4L = DEFAULT_SETTINGS.idleTimeout4L;
DWORD IdleTimeoutOther = DEFAULT_SETTINGS.idleTimeoutOther;
char* RegistryRoot = NULL;

namespace {

struct SettingRow {
  LPCSTR name;
  DWORD* value;
  DWORD defaultValue;
};

const SettingRow kSettings[] = {
    {ERROR_TIMEOUT_NAME, &ErrorTimeout, DEFAULT_SETTINGS.errorTimeout},
    {ABORT_TIMEOUT_NAME, &AbortTimeout, DEFAULT_SETTINGS.abortTimeout},
    {IDLE_TIMEOUT_4L_NAME, &IdleTimeout4L, DEFAULT_SETTINGS.idleTimeout4L},
    {IDLE_TIMEOUT_OTHER_NAME, &IdleTimeoutOther, DEFAULT_SETTINGS.idleTimeoutOther},
};

}  // namespace

void ReadMonitorSettings() {
  if (!RegistryRoot) return;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RegistryRoot, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  for (const SettingRow& row : kSettings) {
    DWORD size = sizeof(DWORD);
    // The value's type is not looked at; anything that does not fit four bytes fails.
    if (RegQueryValueExA(key, row.name, NULL, NULL, reinterpret_cast<LPBYTE>(row.value), &size) !=
        ERROR_SUCCESS) {
      *row.value = row.defaultValue;
      RegSetValueExA(key, row.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(row.value),
                     sizeof(DWORD));
    }
  }
  RegCloseKey(key);
}

DWORD IdleTimeoutOf(const PortRecord* port) {
  const bool family = HasPortFlags(port, PF_FAMILY_MODEL | PF_FAMILY_MAKER);
  if (port->instance != NULL) {
    const MonitorSettings& s = port->instance->settings;
    return family ? s.idleTimeout4L : s.idleTimeoutOther;
  }
  return family ? IdleTimeout4L : IdleTimeoutOther;
}
