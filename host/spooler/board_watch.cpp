// NT mode's stand-in for the display program's side of the status board: a thread that reads
// each publication of the monitor (session_link.h) as the program would, and records it.
#include "board_watch.h"

#include "session_reader.h"
#include "timeline.h"
#include "wide_text.h"

namespace {

const DWORD kBoardPollMs = 10;

DWORD WINAPI BoardWatchThread(LPVOID parameter) {
  const SessionBoard* board = static_cast<const SessionBoard*>(parameter);
  // Only what is published from now on: a board kept by a program of an earlier run may hold
  // its publications still.
  SessionReader reader = {};
  reader.seen = __atomic_load_n(&board->sequence, __ATOMIC_SEQ_CST);
  reader.started = TRUE;
  static SessionEntry entries[SESSION_ENTRIES];
  for (;;) {
    const uint32_t n = SessionReadNew(board, &reader, entries, SESSION_ENTRIES);
    for (uint32_t i = 0; i < n; ++i) {
      const SessionEntry& e = entries[i];
      WCHAR printer[SESSION_PRINTER_CHARS + 1] = {};
      for (uint32_t k = 0; k < SESSION_PRINTER_CHARS && e.printer[k]; ++k)
        printer[k] = e.printer[k];
      TimelineRecord r;
      RecordBegin(&r, "board");
      RecordString(&r, "what", e.kind == SESSION_STATUS_CODE ? "code" : "thread-ended");
      if (e.kind == SESSION_STATUS_CODE) {
        RecordNumber(&r, "code", e.code);
        RecordNumber(&r, "model", e.model);
      }
      RecordString(&r, "printer", NarrowText(printer, CP_UTF8).c_str());
      RecordEnd(&r);
    }
    Sleep(kBoardPollMs);
  }
}

}  // namespace

bool BoardWatchStartThread() {
  HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, SESSION_BOARD_NAME);
  if (section == NULL) return false;
  const void* view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, sizeof(SessionBoard));
  if (view == NULL || !SessionBoardUsable(static_cast<const SessionBoard*>(view))) return false;
  HANDLE thread = CreateThread(NULL, 0, BoardWatchThread, const_cast<void*>(view), 0, NULL);
  if (thread == NULL) return false;
  CloseHandle(thread);
  return true;  // the section and the view stay for the run
}
