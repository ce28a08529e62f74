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

namespace {

void Put(SessionEntry* out, uint32_t* count, uint32_t sequence, uint32_t kind, uint32_t code,
         uint32_t model) {
  out[*count].sequence = sequence;
  out[*count].kind = kind;
  out[*count].code = code;
  out[*count].model = model;
  ++*count;
}

}  // namespace

uint32_t SessionTake(SessionSeen* seen, const SessionStatus& status, uint32_t size,
                     SessionEntry* out, uint32_t room) {
  if (size != sizeof(SessionStatus) || status.version != SESSION_STATUS_VERSION ||
      status.sequence == 0 || room == 0) {
    return 0;
  }
  const bool fresh = !seen->seen || seen->spoolerStart != status.spoolerStart;
  if (!fresh && seen->sequence == status.sequence) return 0;
  const uint32_t last = seen->sequence;
  const bool first = !seen->seen;
  seen->seen = TRUE;
  seen->spoolerStart = status.spoolerStart;
  seen->sequence = status.sequence;
  uint32_t count = 0;
  if (fresh) {
    // What stands now. A spooler started again (after a printer was seen) first closes what
    // its earlier start showed.
    if (!first) Put(out, &count, status.sequence, SESSION_THREAD_ENDED, 0, status.model);
    if (status.threadEnded == 0 && status.code != 0 && count < room) {
      Put(out, &count, status.sequence, SESSION_STATUS_CODE, status.code, status.model);
    }
    return count;
  }
  // Every publication after the last one read that the record still holds, oldest first
  // (numbers compared as distances: they wrap past 0, which none has).
  uint32_t behind = status.sequence - last;
  if (behind > SESSION_RECENT) behind = SESSION_RECENT;
  if (behind > room) behind = room;
  for (uint32_t i = behind; i > 0; --i) {
    uint32_t n = status.sequence - (i - 1);
    if (n == 0) continue;
    const uint32_t code = status.recent[n % SESSION_RECENT];
    if (code == SESSION_RECENT_ENDED) {
      Put(out, &count, n, SESSION_THREAD_ENDED, 0, status.model);
    } else if (code != 0) {
      Put(out, &count, n, SESSION_STATUS_CODE, code, status.model);
    }
  }
  return count;
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
