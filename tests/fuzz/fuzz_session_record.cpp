// The NT display link's status record as a display program reads it from a printer's data,
// which the spooler hands over as any bytes of any length: the first bytes set where the
// reader stands, the rest is the record. Whatever it holds, the reader takes at most what it
// has room for, each entry a code or a thread's end, numbered within the record's last eight.
#include <stdint.h>
#include <string.h>

#include <cstdlib>

#include "session_watch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SessionSeen seen = {};
  if (size < 1 + 8) return 0;
  seen.seen = data[0] & 1;
  memcpy(&seen.spoolerStart, data + 1, 4);
  memcpy(&seen.sequence, data + 5, 4);
  data += 9;
  size -= 9;
  SessionStatus status = {};
  memcpy(&status, data, size < sizeof status ? size : sizeof status);
  const uint32_t room = 1 + (size % (SESSION_RECENT + 1));
  SessionEntry out[SESSION_RECENT + 1];
  const uint32_t count = SessionTake(&seen, status, static_cast<uint32_t>(size), out, room);
  if (count > room) abort();
  for (uint32_t i = 0; i < count; ++i) {
    if (out[i].kind != SESSION_STATUS_CODE && out[i].kind != SESSION_THREAD_ENDED) abort();
    if (out[i].kind == SESSION_STATUS_CODE && out[i].code == 0) abort();
    if (status.sequence - out[i].sequence >= SESSION_RECENT) abort();
  }
  // Read again at once: nothing new.
  if (count != 0 && SessionTake(&seen, status, static_cast<uint32_t>(size), out, room) != 0) {
    abort();
  }
  return 0;
}
