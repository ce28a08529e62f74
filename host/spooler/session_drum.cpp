#include "session_drum.h"

#include <windows.h>

#include <string>

#include "session_link.h"
#include "session_reader.h"
#include "wide_text.h"

int SetSessionDrumResetEvents(const char* printer) {
  HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, SESSION_BOARD_NAME);
  if (!section) return 0;
  const SessionBoard* board =
      static_cast<const SessionBoard*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0));
  CloseHandle(section);
  if (!board) return 0;
  std::wstring name = WideText(printer, CP_UTF8);
  name.resize(SESSION_PRINTER_CHARS - 1);  // cut as the board keeps it; NUL-padded
  BOOL slots[SESSION_PORTS];
  int set = 0;
  DWORD error = ERROR_FILE_NOT_FOUND;
  if (SessionBoardUsable(board) &&
      SessionPortsOf(board, reinterpret_cast<const uint16_t*>(name.c_str()), slots) != 0) {
    for (uint32_t i = 0; i < SESSION_PORTS; i++) {
      if (!slots[i]) continue;
      std::wstring event = SESSION_DRUM_EVENT_PREFIX + std::to_wstring(i);
      HANDLE e = OpenEventW(EVENT_MODIFY_STATE, FALSE, event.c_str());
      error = GetLastError();
      if (e && SetEvent(e)) set++;
      if (e) CloseHandle(e);
    }
  }
  UnmapViewOfFile(board);
  if (!set) SetLastError(error);
  return set;
}
