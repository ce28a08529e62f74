// Program entry and the hidden main window: it is found by the monitor, receives the status
// codes and opens the dialogs.
#include "program.h"

#include "display_link.h"
#include "resource_ids.h"

UnicodeUser Unicode;
HINSTANCE Instance;
LONG ReceivedModelNumber;
DialogTitle StatusTitle;
DialogTitle RecoveryTitle;
DialogTitle ShownStatusTitle;
DialogTitle ShownRecoveryTitle;
DisplayState Display;
BOOL SessionOnly;
HWND SessionMainWindow;
BOOL ShownFromSession;
uint16_t ShownPrinter[SESSION_PRINTER_CHARS];
uint32_t ShownSequence;

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
const wchar_t kDialogClassW[] = L"#32770";

// The next dialog after window with this title, compared in the form in use.
HWND NextDialog(HWND window, const DialogTitle& title) {
  if (Unicode.on) {
    return Unicode.findWindowEx(NULL, window, kDialogClassW, reinterpret_cast<LPCWSTR>(title.wide));
  }
  return FindWindowExA(NULL, window, kDialogClass, title.ansi);
}

bool EmptyTitle(const DialogTitle& title) {
  return Unicode.on ? title.wide[0] == 0 : title.ansi[0] == '\0';
}

bool SameTitle(const DialogTitle& a, const DialogTitle& b) {
  if (!Unicode.on) return lstrcmpA(a.ansi, b.ansi) == 0;
  for (int i = 0; i < TITLE_SIZE; ++i) {
    if (a.wide[i] != b.wide[i]) return false;
    if (a.wide[i] == 0) return true;
  }
  return true;
}

// A dialog of this program with this title. The search names the dialog class, so the titles
// compared are those of the desktop's dialogs only, not of every window on it (under Wine each
// title compared is a call to the wineserver). Other programs' dialogs of the same title are
// not ours, and an empty title (no code handled yet) names no dialog.
HWND FindOwnDialog(const DialogTitle& title) {
  if (EmptyTitle(title)) return NULL;
  HWND window = NULL;
  while ((window = NextDialog(window, title)) != NULL) {
    if (GetWindowThreadProcessId(window, NULL) == GetCurrentThreadId()) return window;
  }
  return NULL;
}

// Ends a dialog of this program found by its title. Other programs' windows are left alone.
void EndOwnDialog(const DialogTitle& title) {
  HWND window = FindOwnDialog(title);
  if (window != NULL) EndDialog(window, 0);
}

// The titles for the printer (NULL: the shared name could not be read): from its UTF-16 name
// where the windows are Unicode, from its name in the system's code page otherwise.
void BuildTitles(const char* printerName, const uint16_t* widePrinterName) {
  if (Unicode.on) {
    uint16_t texts[4][kTitleTextSize];
    const UINT ids[4] = {IDS_STATUS_TITLE, IDS_RECOVERY_TITLE, IDS_STATUS_SUFFIX,
                         IDS_RECOVERY_SUFFIX};
    for (int i = 0; i < 4; ++i) {
      if (Unicode.loadString(Instance, ids[i], reinterpret_cast<LPWSTR>(texts[i]),
                             kTitleTextSize) <= 0) {
        texts[i][0] = 0;
      }
    }
    const WideTitleTexts wideTexts = {texts[0], texts[1], texts[2], texts[3]};
    BuildWideDialogTitles(widePrinterName, &wideTexts, StatusTitle.wide, RecoveryTitle.wide);
    return;
  }
  char fallbackStatus[kTitleTextSize];
  char fallbackRecovery[kTitleTextSize];
  char statusSuffix[kTitleTextSize];
  char recoverySuffix[kTitleTextSize];
  LoadStringA(Instance, IDS_STATUS_TITLE, fallbackStatus, kTitleTextSize);
  LoadStringA(Instance, IDS_RECOVERY_TITLE, fallbackRecovery, kTitleTextSize);
  LoadStringA(Instance, IDS_STATUS_SUFFIX, statusSuffix, kTitleTextSize);
  LoadStringA(Instance, IDS_RECOVERY_SUFFIX, recoverySuffix, kTitleTextSize);
  const TitleTexts texts = {fallbackStatus, fallbackRecovery, statusSuffix, recoverySuffix};
  BuildDialogTitles(printerName, &texts, StatusTitle.ansi, RecoveryTitle.ansi);
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

// One status code of the printer named printerName (in UTF-16: widePrinterName), by either
// link.
void HandleCode(HWND window, DWORD code, LONG model, const char* printerName,
                const uint16_t* widePrinterName) {
  ReceivedModelNumber = model;
  BuildTitles(printerName, widePrinterName);

  // A code for another printer closes the dialogs of the previous one. The entry they showed
  // and a code held there go with them: the same code from this printer is a new entry to
  // show, not a repeat, and the other printer's held code is never shown for this one.
  if (!SameTitle(StatusTitle, ShownStatusTitle)) {
    if (!EmptyTitle(ShownStatusTitle)) {
      EndOwnDialog(ShownStatusTitle);
      EndOwnDialog(ShownRecoveryTitle);
      Display = DisplayState();
    }
    ShownStatusTitle = StatusTitle;
    ShownRecoveryTitle = RecoveryTitle;
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
  uint16_t wideName[PRINTER_NAME_SIZE];
  BOOL haveName = ReadSharedPrinterName(name);
  // Unicode windows show the name as the system reads it; one it cannot read gets the
  // fallback titles, as an unreadable block does.
  if (haveName && Unicode.on) haveName = SharedPrinterNameToWide(name, wideName);
  ShownFromSession = FALSE;
  HandleCode(window, static_cast<DWORD>(wParam), static_cast<LONG>(lParam), haveName ? name : NULL,
             haveName ? wideName : NULL);
}

// The titles' text of a printer name of the NT link where the windows are not Unicode
// (in the system's code page). Unicode windows take the name as it is.
void SessionNameText(const uint16_t* printer, char* text, int size) {
  const BOOL converted = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWCH>(printer), -1, text,
                                             size, NULL, NULL) != 0;
  if (!converted) text[0] = '\0';
}

bool SamePrinter(const uint16_t* a, const uint16_t* b) {
  for (uint32_t i = 0; i < SESSION_PRINTER_CHARS; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == 0) return true;
  }
  return true;
}

// DLM_SESSION_CHANGED: every publication of the NT link not handled yet, in order.
void OnSessionChanged(HWND window) {
  SessionEntry entries[16];
  const UINT count = ReadSessionEntries(entries, 16);
  for (UINT i = 0; i < count && IsWindow(window); ++i) {
    const SessionEntry& entry = entries[i];
    if (entry.kind == SESSION_STATUS_CODE) {
      char name[SESSION_PRINTER_CHARS * 2] = "";
      if (!Unicode.on) SessionNameText(entry.printer, name, sizeof name);
      ShownFromSession = TRUE;
      for (uint32_t c = 0; c < SESSION_PRINTER_CHARS; ++c) ShownPrinter[c] = entry.printer[c];
      ShownSequence = entry.sequence;
      HandleCode(window, entry.code, static_cast<LONG>(entry.model), name, ShownPrinter);
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

// A dialog of the resources run modally: Unicode where the windows are.
INT_PTR RunDialog(int id, HWND owner, DLGPROC proc) {
  if (Unicode.on) return Unicode.dialogBoxParam(Instance, MAKEINTRESOURCEW(id), owner, proc, 0);
  return DialogBoxParamA(Instance, MAKEINTRESOURCEA(id), owner, proc, 0);
}

// Codes in quick succession each ask for the status dialog before the first one is up; the
// one open dialog paints the newest entry, so a second one is never opened inside it.
void OnOpenStatus(HWND window) {
  if (OpenDialogs > 0) return;
  ++OpenDialogs;
  INT_PTR result = RunDialog(IDD_STATUS, window, StatusDialogProc);
  --OpenDialogs;
  if (result == 1) PostMessageA(window, DLM_OPEN_RECOVERY, 0, 0);
}

void OnOpenRecovery(HWND window) {
  if (OpenDialogs > 0) return;
  ++OpenDialogs;
  RunDialog(IDD_RECOVERY, window, RecoveryDialogProc);
  --OpenDialogs;
}

}  // namespace

extern "C" LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      StatusTitle = RecoveryTitle = ShownStatusTitle = ShownRecoveryTitle = DialogTitle();
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
      if (Unicode.on) return Unicode.defWindowProc(window, message, wParam, lParam);
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

void SetDialogTitle(HWND dialog, const DialogTitle& title) {
  if (Unicode.on) {
    Unicode.setWindowText(dialog, reinterpret_cast<LPCWSTR>(title.wide));
  } else {
    SetWindowTextA(dialog, title.ansi);
  }
}

namespace {

template <typename F>
bool FindUser(HMODULE user, const char* name, F* slot) {
  *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user, name)));
  return *slot != NULL;
}

// Unicode where the system is of the NT family and user32 has every function needed.
void FindUnicodeUser(void) {
  Unicode = UnicodeUser();
  HMODULE user = GetModuleHandleA("user32.dll");
  if (user == NULL || (GetVersion() & 0x80000000u) != 0) return;
  bool all = FindUser(user, "RegisterClassW", &Unicode.registerClass);
  all = FindUser(user, "CreateWindowExW", &Unicode.createWindowEx) && all;
  all = FindUser(user, "DefWindowProcW", &Unicode.defWindowProc) && all;
  all = FindUser(user, "GetMessageW", &Unicode.getMessage) && all;
  all = FindUser(user, "DispatchMessageW", &Unicode.dispatchMessage) && all;
  all = FindUser(user, "DialogBoxParamW", &Unicode.dialogBoxParam) && all;
  all = FindUser(user, "SetWindowTextW", &Unicode.setWindowText) && all;
  all = FindUser(user, "SetDlgItemTextW", &Unicode.setDlgItemText) && all;
  all = FindUser(user, "FindWindowExW", &Unicode.findWindowEx) && all;
  all = FindUser(user, "LoadStringW", &Unicode.loadString) && all;
  Unicode.on = all;
}

// The manifest asks for common controls 6; loading them registers their themed buttons and
// statics for the dialogs. Found at run time: a system without them draws the classic controls.
void UseVisualStyles(void) {
  HMODULE controls = LoadLibraryA("comctl32.dll");
  if (controls == NULL) return;
  typedef void(WINAPI * InitFn)(void);
  InitFn init = reinterpret_cast<InitFn>(
      reinterpret_cast<void*>(GetProcAddress(controls, "InitCommonControls")));
  if (init != NULL) init();
}

// The ASCII names of the link, as the Unicode functions take them.
void AsciiToWide(const char* text, wchar_t* wide, int size) {
  int i = 0;
  for (; text[i] != '\0' && i + 1 < size; ++i) wide[i] = static_cast<wchar_t>(text[i]);
  wide[i] = 0;
}

// The hidden main window, Unicode where the system's windows are.
HWND CreateMainWindow(HINSTANCE instance) {
  const char* title = SessionOnly ? DISPLAY_SESSION_WINDOW_TITLE : DISPLAY_WINDOW_TITLE;
  const DWORD style = WS_MINIMIZE | WS_CAPTION | WS_SYSMENU;
  HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
  if (Unicode.on) {
    wchar_t className[64];
    wchar_t wideTitle[128];
    AsciiToWide(DISPLAY_WINDOW_CLASS, className, 64);
    AsciiToWide(title, wideTitle, 128);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.lpszClassName = className;
    if (!Unicode.registerClass(&windowClass)) return NULL;
    return Unicode.createWindowEx(0, className, wideTitle, style, 0, 0, 10, 10, NULL, NULL,
                                  instance, NULL);
  }
  WNDCLASSA windowClass = {};
  windowClass.style = 0;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = icon;
  windowClass.lpszClassName = DISPLAY_WINDOW_CLASS;
  if (!RegisterClassA(&windowClass)) return NULL;
  return CreateWindowExA(0, DISPLAY_WINDOW_CLASS, title, style, 0, 0, 10, 10, NULL, NULL, instance,
                         NULL);
}

}  // namespace

// A switch of the command line (the sign-in start's, the NT link alone; /all).
static BOOL HasSwitch(LPCSTR commandLine, LPCSTR name) {
  const int length = lstrlenA(name);
  for (LPCSTR p = commandLine; p != NULL && *p != '\0'; ++p) {
    if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, p, length, name, length) ==
        CSTR_EQUAL) {
      return TRUE;
    }
  }
  return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  Instance = instance;
  // Run again elevated for the drum reset request alone.
  const int drumReset = RunDrumResetSwitch();
  if (drumReset >= 0) return drumReset;
  SessionOnly = HasSwitch(commandLine, DISPLAY_SIGNIN_SWITCH);

  FindUnicodeUser();
  UseVisualStyles();
  HWND window = CreateMainWindow(instance);
  if (window == NULL) return 0;
  if (SessionOnly) SessionMainWindow = window;
  ShowWindow(window, SW_SHOWMINNOACTIVE);
  ShowWindow(window, SW_HIDE);
  UpdateWindow(window);
  // Started at sign-in it listens to the NT link alone (and stays when no printer publishes
  // yet: printers added later and a spooler that starts later are found); where the system
  // has no such link it ends quietly.
  if (SessionOnly && !OpenSessionLink(window, HasSwitch(commandLine, DISPLAY_ALL_SWITCH))) {
    DestroyWindow(window);
    return 0;
  }

  MSG msg;
  BOOL got;
  while ((got = Unicode.on ? Unicode.getMessage(&msg, NULL, 0, 0) : GetMessageA(&msg, NULL, 0, 0)) >
         0) {
    TranslateMessage(&msg);
    if (Unicode.on) {
      Unicode.dispatchMessage(&msg);
    } else {
      DispatchMessageA(&msg);
    }
  }
  CloseSessionLink();
  return got == 0 ? static_cast<int>(msg.wParam) : 0;
}
