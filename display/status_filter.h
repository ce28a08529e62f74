// What the display program does with each status code: the filter that runs before the
// lookup, the exit rule, the display decision, and the OK button and drum reset rules of the
// dialogs. Pure decisions over the program's state; the window code carries them out.
#pragma once

#include "win32.h"
#include "status_file.h"

// Codes that stay wanted on screen until the user dismisses them.
struct FilterState {
  DWORD stickyCode;    // last accepted 40556, 40558 or 40559; 0 = none
  BOOL drumCodeShown;  // model 3470: a drum code was accepted and not yet answered
};

// Program state that the decisions read and change.
struct DisplayState {
  StatusEntry current;  // the entry on display or last loaded
  FilterState filter;
};

// Asks whether a drum counter reset is still under way (the reset event is signalled). Called
// only for drum codes; a missing event counts as "not under way".
typedef BOOL (*DrumResetPendingFn)(void);

// Filters the incoming code in *code against the entry on display (shownCode, shownGroup).
// model3470 switches on that model's rules. FALSE: ignore the code. TRUE: look up *code,
// which may have been replaced by the sticky code or folded to 41000.
BOOL FilterStatusCode(FilterState* state, DWORD* code, DWORD shownCode, LONG shownGroup,
                      BOOL model3470, DrumResetPendingFn drumResetPending);

// Codes whose loaded entry ends the program.
BOOL IsExitCode(DWORD code);
// True when a "Printers Folder" window is open and code is one it holds back.
BOOL HeldByPrintersFolder(DWORD code, BOOL printersFolderOpen);

// Makes the record of record (the code after the filter) the entry for code (the code as it
// came): a paper code folded to 41000 gets its tray and size named, where the file can. FALSE,
// the entry unchanged, when the record is not found.
BOOL LoadStatusEntry(const char* path, DWORD code, DWORD record, StatusEntry* entry);

// The main window's answer to one incoming status code.
enum CodeOutcome {
  CODE_IGNORED,      // rejected by the filter
  CODE_UNCHANGED,    // the entry on display already has this code
  CODE_NOT_FOUND,    // no record; the current entry is unchanged
  CODE_END_PROGRAM,  // an exit code's entry was loaded: destroy the main window
  CODE_ENTRY_READY,  // a new entry is current: post DLM_ENTRY_READY with its code
};
// Filter, comparison with the entry on display, lookup in the file at path (NULL: no file) and
// exit rule for one incoming code.
CodeOutcome ProcessStatusCode(DisplayState* state, DWORD code, BOOL model3470, const char* path,
                              DrumResetPendingFn drumResetPending);

// The display decision for a ready entry.
enum DisplayAction {
  DISPLAY_NOTHING,
  DISPLAY_OPEN_STATUS,       // beep and post DLM_OPEN_STATUS
  DISPLAY_REPAINT_STATUS,    // repaint the open status dialog
  DISPLAY_REPAINT_RECOVERY,  // repaint the open recovery dialog
  DISPLAY_END_PROGRAM,       // destroy the main window
};
DisplayAction DecideDisplay(BOOL statusOpen, BOOL recoveryOpen, LONG group, DWORD code,
                            BOOL printersFolderOpen);

// OK, Enter or Esc in a dialog.
enum OkAction {
  OK_END_PROGRAM,  // destroy the main window and end the dialog
  OK_SHOW_STICKY,  // the sticky code's entry is current: post DLM_ENTRY_READY, keep the dialog
};
OkAction DecideOkButton(DisplayState* state, const char* path);

// A drum counter reset the user confirmed and the monitor was asked for. TRUE when the dialog
// is to close (a drum code was on display; its entry then has code and group 0).
BOOL ApplyDrumResetConfirmed(DisplayState* state);
