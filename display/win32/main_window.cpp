// Program entry and the hidden main window: it is found by the monitor, receives the status
// codes and opens the dialogs.
#include "program.h"

#include "display_link.h"
#include "resource_ids.h"

HINSTANCE Instance;
LONG ReceivedModelNumber;
char StatusTitle[TITLE_SIZE];
char RecoveryTitle[TITLE_SIZE];
char ShownStatusTitle[TITLE_SIZE];
char ShownRecoveryTitle[TITLE_SIZE];
DisplayState Display;
BOOL SessionOnly;
HWND SessionMainWindow;
BOOL ShownFromSession;
uint16_t ShownPrinter[SESSION_PRINTER_CHARS];

namespace {

const LONG kModel3470 = 3470;
const int kTitleTextSize = 256;            // string-table titles: 255 characters and a NUL
const int kPrintersFolderTitleSize = 128;  // the "Printers Folder" title

// Dialogs of this program running modally: at most one at a time.
int OpenDialogs;

// The class of the dialogs (their templates name none). They are the only windows of this
// program with dialog titles: those end in "Status Display" or " - Recovery" (or are cut at
// TITLE_SIZE - 1 characters), the main window's titles do not.
const char kDialogClass[] = "#32770";

// A dialog of this program with this title. The search names the dialog class, so the titles
// compared are those of the desktop's dialogs only, not of every window on it (under Wine each
// title compared is a call to the wineserver). Other programs' dialogs of the same title are
// not ours, and an empty title (no code handled yet) names no dialog.
HWND FindOwnDialog(const char* title) {
  if (title[0] == '\0') return NULL;
  HWND window = NULL;
  while ((window = FindWindowExA(NULL, window, kDialogClass, title)) != NULL) {
    if (GetWindowThreadProcessId(window, NULL) == GetCurrentThreadId()) return window;
  }
  return NULL;
}

// Ends a dialog of this program found by its title. Other programs' windows are left alone.
void EndOwnDialog(const char* title) {
  HWND window = FindOwnDialog(title);
  if (window != NULL) EndDialog(window, 0);
}

// The titles for printerName (NULL: the shared name could not be read).
void BuildTitles(const char* printerName) {
  char fallbackStatus[kTitleTextSize];
  char fallbackRecovery[kTitleTextSize];
  char statusSuffix[kTitleTextSize];
  char recoverySuffix[kTitleTextSize];
  LoadStringA(Instance, IDS_STATUS_TITLE, fallbackStatus, kTitleTextSize);
  LoadStringA(Instance, IDS_RECOVERY_TITLE, fallbackRecovery, kTitleTextSize);
  LoadStringA(Instance, IDS_STATUS_SUFFIX, statusSuffix, kTitleTextSize);
  LoadStringA(Instance, IDS_RECOVERY_SUFFIX, recoverySuffix, kTitleTextSize);
  const TitleTexts texts = {fallbackStatus, fallbackRecovery, statusSuffix, recoverySuffix};
  BuildDialogTitles(printerName, &texts, StatusTitle, RecoveryTitle);
}

// Status codes and model numbers are 32-bit values. In a 64-bit build a wider wParam, or an
// lParam that is not a 32-bit value widened, comes from no monitor; cut down, it could pass
// for a valid code or model.
bool Is32BitMessage(WPARAM wParam, LPARAM lParam) {
  const unsigned long long high = ~0ull << 32;
  unsigned long long modelHigh = static_cast<unsigned long long>(lParam) & high;
  return (static_cast<unsigned long long>(wParam) & high) == 0 &&
         (modelHigh == 0 || modelHigh == high);
}

// One status code of the printer named printerName, by either link.
void HandleCode(HWND window, DWORD code, LONG model, const char* printerName) {
  ReceivedModelNumber = model;
  BuildTitles(printerName);

  // A code for another printer closes the dialogs of the previous one. The entry they showed
  // and a code held there go with them: the same code from this printer is a new entry to
  // show, not a repeat, and the other printer's held code is never shown for this one.
  if (lstrcmpA(StatusTitle, ShownStatusTitle) != 0) {
    if (ShownStatusTitle[0] != '\0') {
      EndOwnDialog(ShownStatusTitle);
      EndOwnDialog(ShownRecoveryTitle);
      Display = DisplayState();
    }
    lstrcpyA(ShownStatusTitle, StatusTitle);
    lstrcpyA(ShownRecoveryTitle, RecoveryTitle);
  }

  char path[STATUS_PATH_SIZE];
  CodeOutcome outcome = ProcessStatusCode(&Display, code, ReceivedModelNumber == kModel3470,
                                          CurrentStatusFilePath(path), DrumResetPending);
  if (outcome == CODE_END_PROGRAM) {
    EndShowing(window);
  } else if (outcome == CODE_ENTRY_READY) {
    PostMessageA(window, DLM_ENTRY_READY, Display.current.code, 0);
  }
}

// DLM_STATUS_CODE: a status code from the monitor (lParam: the printer's model number), the
// printer's name in the shared block.
void OnStatusCode(HWND window, WPARAM wParam, LPARAM lParam) {
  if (SessionOnly || !Is32BitMessage(wParam, lParam)) return;
  char name[PRINTER_NAME_SIZE];
  const BOOL haveName = ReadSharedPrinterName(name);
  ShownFromSession = FALSE;
  HandleCode(window, static_cast<DWORD>(wParam), static_cast<LONG>(lParam), haveName ? name : NULL);
}

// The titles' text of a printer name of the status board (in the system's code page).
void SessionNameText(const uint16_t* printer, char* text, int size) {
  const BOOL converted = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWCH>(printer), -1, text,
                                             size, "?", NULL) != 0;
  if (!converted) text[0] = '\0';
}

bool SamePrinter(const uint16_t* a, const uint16_t* b) {
  for (uint32_t i = 0; i < SESSION_PRINTER_CHARS; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == 0) return true;
  }
  return true;
}

// DLM_SESSION_CHANGED: every publication of the status board not handled yet, in order.
void OnSessionChanged(HWND window) {
  SessionEntry entries[SESSION_ENTRIES];
  const UINT count = ReadSessionEntries(entries, SESSION_ENTRIES);
  for (UINT i = 0; i < count && IsWindow(window); ++i) {
    const SessionEntry& entry = entries[i];
    if (entry.kind == SESSION_STATUS_CODE) {
      char name[SESSION_PRINTER_CHARS * 2];
      SessionNameText(entry.printer, name, sizeof name);
      ShownFromSession = TRUE;
      for (uint32_t c = 0; c < SESSION_PRINTER_CHARS; ++c) ShownPrinter[c] = entry.printer[c];
      HandleCode(window, entry.code, static_cast<LONG>(entry.model), name);
    } else if (entry.kind == SESSION_THREAD_ENDED && ShownFromSession &&
               SamePrinter(entry.printer, ShownPrinter)) {
      // The status thread of the printer on display ended, as a WM_DESTROY tells on the other
      // link.
      EndShowing(window);
    }
  }
}

BOOL PrintersFolderOpen(void) {
  char title[kPrintersFolderTitleSize];
  if (LoadStringA(Instance, IDS_PRINTERS_FOLDER, title, kPrintersFolderTitleSize) == 0) {
    return FALSE;
  }
  return FindWindowA(NULL, title) != NULL;
}

// DLM_ENTRY_READY: show, repaint or close for the entry just loaded.
void OnEntryReady(HWND window, WPARAM wParam) {
  HWND status = FindOwnDialog(StatusTitle);
  HWND recovery = FindOwnDialog(RecoveryTitle);
  DWORD code = static_cast<DWORD>(wParam);
  const BOOL statusOpen = status != NULL;
  const BOOL recoveryOpen = recovery != NULL;
  const LONG group = Display.current.group;
  // The Printers Folder is looked for (by its title, among every window on the desktop) only
  // when the decision depends on it.
  DisplayAction action = DecideDisplay(statusOpen, recoveryOpen, group, code, FALSE);
  if (action != DecideDisplay(statusOpen, recoveryOpen, group, code, TRUE)) {
    action = DecideDisplay(statusOpen, recoveryOpen, group, code, PrintersFolderOpen());
  }
  const UINT repaint =
      RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_ALLCHILDREN | RDW_ERASENOW;
  switch (action) {
    case DISPLAY_NOTHING:
      break;
    case DISPLAY_OPEN_STATUS:
      MessageBeep(0);
      PostMessageA(window, DLM_OPEN_STATUS, 0, 0);
      break;
    case DISPLAY_REPAINT_STATUS:
      RedrawWindow(status, NULL, NULL, repaint);
      break;
    case DISPLAY_REPAINT_RECOVERY:
      RedrawWindow(recovery, NULL, NULL, repaint);
      break;
    case DISPLAY_END_PROGRAM:
      EndShowing(window);
      break;
  }
}

// Codes in quick succession each ask for the status dialog before the first one is up; the
// one open dialog paints the newest entry, so a second one is never opened inside it.
void OnOpenStatus(HWND window) {
  if (OpenDialogs > 0) return;
  ++OpenDialogs;
  INT_PTR result =
      DialogBoxParamA(Instance, MAKEINTRESOURCEA(IDD_STATUS), window, StatusDialogProc, 0);
  --OpenDialogs;
  if (result == 1) PostMessageA(window, DLM_OPEN_RECOVERY, 0, 0);
}

void OnOpenRecovery(HWND window) {
  if (OpenDialogs > 0) return;
  ++OpenDialogs;
  DialogBoxParamA(Instance, MAKEINTRESOURCEA(IDD_RECOVERY), window, RecoveryDialogProc, 0);
  --OpenDialogs;
}

}  // namespace

extern "C" LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      StatusTitle[0] = RecoveryTitle[0] = ShownStatusTitle[0] = ShownRecoveryTitle[0] = '\0';
      return 0;
    case WM_DESTROY:
      // Also posted by the monitor when its status thread ends: the program ends either way.
      PostQuitMessage(0);
      return 0;
    case WM_QUERYOPEN:
      return 0;  // the minimized window is never restored
    case DLM_STATUS_CODE:
      OnStatusCode(window, wParam, lParam);
      return 0;
    case DLM_ENTRY_READY:
      OnEntryReady(window, wParam);
      return 0;
    case DLM_OPEN_STATUS:
      OnOpenStatus(window);
      return 0;
    case DLM_OPEN_RECOVERY:
      OnOpenRecovery(window);
      return 0;
    case DLM_SESSION_CHANGED:
      OnSessionChanged(window);
      return 0;

    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void EndShowing(HWND mainWindow) {
  if (!SessionOnly) {
    DestroyWindow(mainWindow);  // the program ends, and any dialog with it
    return;
  }
  // The program of the user's session stays for the next code, as a program started afresh:
  // no dialog, no entry, nothing held.
  EndOwnDialog(ShownStatusTitle);
  EndOwnDialog(ShownRecoveryTitle);
  Display = DisplayState();
  ShownFromSession = FALSE;
}

// The switch of the sign-in start: the NT link alone.
static BOOL HasSignInSwitch(LPCSTR commandLine) {
  const int length = lstrlenA(DISPLAY_SIGNIN_SWITCH);
  for (LPCSTR p = commandLine; p != NULL && *p != '\0'; ++p) {
    if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, p, length, DISPLAY_SIGNIN_SWITCH,
                       length) == CSTR_EQUAL) {
      return TRUE;
    }
  }
  return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  Instance = instance;
  SessionOnly = HasSignInSwitch(commandLine);

  WNDCLASSA windowClass = {};
  windowClass.style = 0;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
  windowClass.lpszClassName = DISPLAY_WINDOW_CLASS;
  if (!RegisterClassA(&windowClass)) return 0;

  HWND window = CreateWindowExA(
      0, DISPLAY_WINDOW_CLASS, SessionOnly ? DISPLAY_SESSION_WINDOW_TITLE : DISPLAY_WINDOW_TITLE,
      WS_MINIMIZE | WS_CAPTION | WS_SYSMENU, 0, 0, 10, 10, NULL, NULL, instance, NULL);
  if (window == NULL) return 0;
  if (SessionOnly) SessionMainWindow = window;
  ShowWindow(window, SW_SHOWMINNOACTIVE);
  ShowWindow(window, SW_HIDE);
  UpdateWindow(window);
  // Where the system has the NT link, the program listens there too; started at sign-in it
  // listens there alone, and ends quietly when no monitor is there to publish.
  if (!OpenSessionLink(window) && SessionOnly) {
    DestroyWindow(window);
    return 0;
  }

  MSG msg;
  BOOL got;
  while ((got = GetMessageA(&msg, NULL, 0, 0)) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  CloseSessionLink();
  return got == 0 ? static_cast<int>(msg.wParam) : 0;
}
