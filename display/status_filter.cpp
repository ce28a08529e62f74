// Status code filter, exit rule, display decision and the dialogs' OK and reset rules.
#include "status_filter.h"

#include "status_codes.h"

#include <string.h>

namespace {

const DWORD kFirstCode = STATUS_CODE_READY;
const DWORD kLastCode = 50554;
const DWORD kFoldedFirst = STATUS_CODE_LOAD_PAPER;
const DWORD kFoldedLast = STATUS_CODE_LOAD_PAPER_LAST;
const DWORD kModel3470Group = 1;

BOOL IsStickyCode(DWORD code) {
  return IsTonerDrumCode(code);
}

// For model 3470, 10001 ends a group-1 entry only after one of these (30017: the page was too
// complex to print).
BOOL Is3470Predecessor(DWORD code) {
  return code == STATUS_CODE_MEMORY_OVERFLOW || code == 30017 || code == STATUS_CODE_DRUM_NEAR_END;
}

struct CodeRange {
  DWORD first;
  DWORD last;
};
const CodeRange kPrintersFolderRanges[] = {
    {STATUS_CODE_TRAY_EMPTY_FIRST, STATUS_CODE_TRAY_EMPTY_LAST},
    {STATUS_CODE_DOOR_OPEN, STATUS_CODE_PAPER_JAM_LAST},
    {STATUS_CODE_LOAD_PAPER, STATUS_CODE_LOAD_PAPER_LAST}};

}  // namespace

BOOL FilterStatusCode(FilterState* state, DWORD* code, DWORD shownCode, LONG shownGroup,
                      BOOL model3470, DrumResetPendingFn drumResetPending) {
  DWORD x = *code;
  if (x < kFirstCode || x > kLastCode) return FALSE;
  if (model3470 && x == STATUS_CODE_READY && shownGroup == static_cast<LONG>(kModel3470Group) &&
      !Is3470Predecessor(shownCode)) {
    return FALSE;
  }

  if (x == STATUS_CODE_SLEEP && model3470) state->drumCodeShown = FALSE;
  if (x == STATUS_CODE_READY || x == STATUS_CODE_WARMING_UP || x == STATUS_CODE_SLEEP) {
    if (state->stickyCode != 0) {
      x = state->stickyCode;
    } else if (IsStickyCode(shownCode)) {
      return FALSE;  // a held code is on display; recall codes do not end it
    }
  } else if (IsDrumCode(x)) {
    if (drumResetPending != NULL && drumResetPending()) return FALSE;
    if (model3470) {
      if (state->drumCodeShown) return FALSE;
      state->drumCodeShown = TRUE;
    }
    state->stickyCode = x;
  } else if (x == STATUS_CODE_FAMILY_TONER_LOW) {
    state->stickyCode = x;
  }

  if (x >= kFoldedFirst && x <= kFoldedLast) x = kFoldedFirst;
  *code = x;
  return TRUE;
}

BOOL IsExitCode(DWORD code) {
  return code == STATUS_CODE_READY || code == STATUS_CODE_SLEEP;
}

BOOL HeldByPrintersFolder(DWORD code, BOOL printersFolderOpen) {
  if (!printersFolderOpen) return FALSE;
  for (const CodeRange& r : kPrintersFolderRanges) {
    if (code >= r.first && code <= r.last) return TRUE;
  }
  return FALSE;
}

BOOL LoadStatusEntry(const char* path, DWORD code, DWORD record, StatusEntry* entry) {
  if (!LookupStatusEntry(path, record, entry)) return FALSE;
  if (record == kFoldedFirst && code != record && code >= kFoldedFirst && code <= kFoldedLast) {
    ApplyPaperNames(path, code, entry);
  }
  return TRUE;
}

CodeOutcome ProcessStatusCode(DisplayState* state, DWORD code, BOOL model3470, const char* path,
                              DrumResetPendingFn drumResetPending) {
  DWORD x = code;
  if (!FilterStatusCode(&state->filter, &x, state->current.code, state->current.group, model3470,
                        drumResetPending)) {
    return CODE_IGNORED;
  }
  if (x == state->current.code) {
    // Paper codes share the 41000 entry; one that names another tray or size changes its text,
    // and the dialog shows the new one.
    if (x != kFoldedFirst || path == NULL) return CODE_UNCHANGED;
    StatusEntry entry = state->current;
    if (!LoadStatusEntry(path, code, x, &entry) ||
        strcmp(entry.statusText, state->current.statusText) == 0) {
      return CODE_UNCHANGED;
    }
    state->current = entry;
    return CODE_ENTRY_READY;
  }
  if (path == NULL || !LoadStatusEntry(path, code, x, &state->current)) return CODE_NOT_FOUND;
  return IsExitCode(state->current.code) ? CODE_END_PROGRAM : CODE_ENTRY_READY;
}

DisplayAction DecideDisplay(BOOL statusOpen, BOOL recoveryOpen, LONG group, DWORD code,
                            BOOL printersFolderOpen) {
  if (statusOpen && recoveryOpen) return DISPLAY_END_PROGRAM;
  if (statusOpen || recoveryOpen) {
    if (group == 0) return DISPLAY_END_PROGRAM;
    return statusOpen ? DISPLAY_REPAINT_STATUS : DISPLAY_REPAINT_RECOVERY;
  }
  if (group == 0 || HeldByPrintersFolder(code, printersFolderOpen)) return DISPLAY_NOTHING;
  return DISPLAY_OPEN_STATUS;
}

OkAction DecideOkButton(DisplayState* state, const char* path) {
  if (IsStickyCode(state->current.code)) {
    state->filter.stickyCode = 0;
    return OK_END_PROGRAM;
  }
  if (state->filter.stickyCode == 0) return OK_END_PROGRAM;
  if (path == NULL || !LookupStatusEntry(path, state->filter.stickyCode, &state->current)) {
    return OK_END_PROGRAM;
  }
  return OK_SHOW_STICKY;
}

BOOL ApplyDrumResetConfirmed(DisplayState* state) {
  BOOL close = IsDrumCode(state->current.code);
  if (close) {
    state->current.code = 0;
    state->current.group = 0;
  }
  state->filter.stickyCode = 0;
  state->filter.drumCodeShown = FALSE;
  return close;
}
