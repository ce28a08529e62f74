// Reading the NT display link's board, written by the monitor in another process: each entry is
// copied and then its number checked again, so an entry rewritten meanwhile is not taken.
#include "session_reader.h"

namespace {

uint32_t LoadNumber(const uint32_t* field) {
  return __atomic_load_n(field, __ATOMIC_ACQUIRE);
}

bool SameName(const uint16_t* a, const uint16_t* b) {
  for (uint32_t i = 0; i < SESSION_PRINTER_CHARS; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == 0) return true;
  }
  return true;
}

// What a program running all along would show now, from the entries the ring holds (oldest
// first): the codes of the printer whose code came last among those whose status thread has not
// ended since, back to the last code of another printer (a code for another printer starts the
// program afresh) or that printer's last thread end. Moves them to the front; returns the count.
uint32_t KeepCurrentState(SessionEntry* entries, uint32_t count) {
  int shown = -1;
  for (int i = static_cast<int>(count) - 1; i >= 0 && shown < 0; --i) {
    if (entries[i].kind != SESSION_STATUS_CODE) continue;
    bool ended = false;
    for (uint32_t j = static_cast<uint32_t>(i) + 1; j < count && !ended; ++j) {
      ended = entries[j].kind == SESSION_THREAD_ENDED &&
              SameName(entries[j].printer, entries[i].printer);
    }
    if (!ended) shown = i;
  }
  if (shown < 0) return 0;
  const uint16_t* printer = entries[shown].printer;
  int start = shown;
  for (int i = shown - 1; i >= 0; --i) {
    const bool same = SameName(entries[i].printer, printer);
    if (same && entries[i].kind == SESSION_THREAD_ENDED) break;
    if (!same && entries[i].kind == SESSION_STATUS_CODE) break;
    start = i;
  }
  uint32_t kept = 0;
  for (int i = start; i <= shown; ++i) {
    if (entries[i].kind == SESSION_STATUS_CODE && SameName(entries[i].printer, printer)) {
      if (static_cast<uint32_t>(i) != kept) entries[kept] = entries[i];
      ++kept;
    }
  }
  return kept;
}

}  // namespace

BOOL SessionBoardUsable(const SessionBoard* board) {
  return board != NULL && LoadNumber(&board->magic) == SESSION_BOARD_MAGIC &&
         board->version == SESSION_BOARD_VERSION;
}

uint32_t SessionReadNew(const SessionBoard* board, SessionReader* reader, SessionEntry* out,
                        uint32_t max) {
  const uint32_t latest = LoadNumber(&board->sequence);
  const BOOL firstRead = !reader->started;
  reader->started = TRUE;
  if ((!firstRead && latest == reader->seen) || latest == 0 || max == 0) {
    reader->seen = latest;
    return 0;
  }
  // At the first read, the whole ring: what it says decides what is shown now. Publications more
  // than a ring behind are gone (numbers are compared as distances, so the count survives the
  // wrap of the 32-bit number).
  uint32_t first = firstRead ? latest - (SESSION_ENTRIES - 1) : reader->seen + 1;
  if (latest - first >= SESSION_ENTRIES) first = latest - (SESSION_ENTRIES - 1);
  if (latest - first >= max) first = latest - (max - 1);
  uint32_t count = 0;
  for (uint32_t n = first;; ++n) {
    if (n != 0) {
      const SessionEntry& entry = board->entries[n % SESSION_ENTRIES];
      if (LoadNumber(&entry.sequence) == n) {
        out[count] = entry;
        out[count].printer[SESSION_PRINTER_CHARS - 1] = 0;
        if (LoadNumber(&entry.sequence) == n) ++count;
      }
    }
    if (n == latest) break;
  }
  reader->seen = latest;
  return firstRead ? KeepCurrentState(out, count) : count;
}

uint32_t SessionPortsOf(const SessionBoard* board, const uint16_t* printer, BOOL* slots) {
  uint32_t found = 0;
  for (uint32_t i = 0; i < SESSION_PORTS; ++i) {
    const SessionPort& port = board->ports[i];
    slots[i] = LoadNumber(&port.inUse) != 0 && SameName(port.printer, printer);
    found += slots[i] ? 1 : 0;
  }
  return found;
}
