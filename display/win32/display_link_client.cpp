// The program's side of the display link: the shared printer name, the drum reset event, the
// main window and the status message file's path.
#include "program.h"

#include "display_link.h"

BOOL ReadSharedPrinterName(char* name) {
  name[0] = '\0';
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, SHARED_PRINTER_NAME_MAPPING);
  if (mapping == NULL) return FALSE;
  const char* view = static_cast<const char*>(
      MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, SHARED_PRINTER_NAME_SIZE));
  if (view == NULL) {
    CloseHandle(mapping);
    return FALSE;
  }
  // The writer is another process: never read past the block, never trust its NUL.
  CopySharedPrinterName(view, name);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return TRUE;
}

BOOL DrumResetPending(void) {
  if (ShownFromSession) return FALSE;  // the request is the spooler's to keep
  HANDLE event = OpenEventA(EVENT_ALL_ACCESS, FALSE, DRUM_RESET_EVENT_NAME);
  if (event == NULL) return FALSE;
  BOOL signalled = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
  CloseHandle(event);
  return signalled;
}

BOOL RequestDrumReset(void) {
  // The request names its printer: only that printer's ports write the command.
  if (ShownFromSession) return RequestSessionDrumReset(ShownPrinter, ShownSequence);
  HANDLE event = OpenEventA(EVENT_ALL_ACCESS, FALSE, DRUM_RESET_EVENT_NAME);
  if (event == NULL) return FALSE;
  SetEvent(event);
  CloseHandle(event);
  return TRUE;
}

HWND FindMainWindow(void) {
  // The sign-in program's own window: another user's program on the same desktop (a terminal
  // server's console, a test) has a window of the same class and title.
  if (SessionOnly) return SessionMainWindow;
  return FindWindowA(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE);
}

const char* CurrentStatusFilePath(char* path) {
  return BuildStatusFilePath(ReceivedModelNumber, path) ? path : NULL;
}
