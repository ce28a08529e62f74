// What a printer's status read again means, and whose dialogs a printer's are.
#include "session_watch.h"

namespace {

uint16_t Folded(uint16_t c) {
  return c >= 'a' && c <= 'z' ? static_cast<uint16_t>(c - 'a' + 'A') : c;
}

// Equal without regard to the case of the letters a to z (user and machine names).
bool SameName(const uint16_t* a, const uint16_t* b) {
  for (uint32_t i = 0; i < SESSION_PRINTER_CHARS; ++i) {
    if (Folded(a[i]) != Folded(b[i])) return false;
    if (a[i] == 0) return true;
  }
  return true;
}

const uint16_t* WithoutBackslashes(const uint16_t* name) {
  while (*name == '\\') ++name;
  return name;
}

}  // namespace

uint32_t SessionTake(SessionSeen* seen, const SessionStatus& status, uint32_t size) {
  if (size != sizeof(SessionStatus) || status.version != SESSION_STATUS_VERSION ||
      status.sequence == 0) {
    return 0;
  }
  const BOOL first = !seen->seen;
  if (!first && seen->spoolerStart == status.spoolerStart && seen->sequence == status.sequence) {
    return 0;
  }
  seen->seen = TRUE;
  seen->spoolerStart = status.spoolerStart;
  seen->sequence = status.sequence;
  if (status.threadEnded != 0) return first ? 0u : static_cast<uint32_t>(SESSION_THREAD_ENDED);
  return status.code != 0 ? static_cast<uint32_t>(SESSION_STATUS_CODE) : 0u;
}

BOOL SessionInView(BOOL all, BOOL jobNow, DWORD lastJobTick, DWORD now) {
  if (all || jobNow) return TRUE;
  return lastJobTick != 0 && now - lastJobTick < SESSION_JOB_AFTERGLOW_MS;
}

BOOL SessionOwnJob(const uint16_t* jobUser, const uint16_t* jobMachine, const uint16_t* user,
                   const uint16_t* machine) {
  if (jobUser == NULL || user == NULL || !SameName(jobUser, user)) return FALSE;
  if (jobMachine == NULL || jobMachine[0] == 0 || machine == NULL) return TRUE;
  return SameName(WithoutBackslashes(jobMachine), WithoutBackslashes(machine));
}
