// The NT face's settings: the four time-outs as values of the monitor's own key, reached only
// through the spooler's registry callbacks (on a clustered print server the key lives in the
// cluster's database). A callback that fails counts as a missing value: the default is used
// and written back, and a failed write is let be.
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
