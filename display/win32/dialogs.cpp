// The status and recovery dialogs: painting from the current entry, the buttons, and the drum
// counter reset prompt behind Ctrl+Shift+F1 and the Ctrl+Shift click.
#include "program.h"

#include "display_link.h"
#include "resource_ids.h"

BOOL ResetPromptBusy;
POINT RecoveryDialogPos;
RECT PictureFrame;
BOOL PictureFrameValid;

namespace {

const int kPromptTextSize = 512;
const LONG kFirstPictureIcon = 6000;
const LONG kLastPictureIcon = 6499;

// Readies a dialog that starts for the drum counter reset: the prompt is free (a request whose
// prompt message was lost with an earlier dialog, ended before the message was handled, must not
// block it for good) and the hot key is registered.
void ArmDrumReset(HWND dialog) {
  ResetPromptBusy = FALSE;
  // Another program may hold the key; the Ctrl+Shift click still works then.
  RegisterHotKey(dialog, IDH_DRUM_RESET, MOD_CONTROL | MOD_SHIFT, VK_F1);
}

void CentreOnScreen(HWND dialog) {
  int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  int captionHeight = GetSystemMetrics(SM_CYCAPTION);
  if (screenWidth <= 0 || screenHeight <= 0 || captionHeight < 0) return;
  RECT client;
  if (!GetClientRect(dialog, &client)) return;
  int w = client.right - client.left;
  int h = client.bottom - client.top;
  int x = w < screenWidth ? (screenWidth - w) / 2 : 0;
  int y = h + captionHeight < screenHeight ? (screenHeight - h - captionHeight) / 2 : 0;
  SetWindowPos(dialog, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// Moves the dialog to the saved position, pulled back inside the full-screen area.
void MoveToSavedPosition(HWND dialog) {
  int fullWidth = GetSystemMetrics(SM_CXFULLSCREEN);
  int fullHeight = GetSystemMetrics(SM_CYFULLSCREEN);
  RECT rect;
  if (!GetWindowRect(dialog, &rect)) return;
  int x = RecoveryDialogPos.x < 0 ? 0 : RecoveryDialogPos.x;
  int y = RecoveryDialogPos.y < 0 ? 0 : RecoveryDialogPos.y;
  if (x > fullWidth - (rect.right - rect.left)) x = fullWidth - (rect.right - rect.left);
  if (y > fullHeight - (rect.bottom - rect.top)) y = fullHeight - (rect.bottom - rect.top);
  SetWindowPos(dialog, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// Takes the frame control's place for the picture. The control stays, hidden, so that where the
// system scales the dialog for another monitor's DPI the frame is measured again at its new
// size.
void MeasurePictureFrame(HWND dialog) {
  PictureFrameValid = FALSE;
  HWND frame = GetDlgItem(dialog, IDC_PICTURE_FRAME);
  RECT rect;
  if (frame == NULL || !GetWindowRect(frame, &rect)) return;
  POINT topLeft = {rect.left, rect.top};
  POINT bottomRight = {rect.right, rect.bottom};
  if (!ScreenToClient(dialog, &topLeft) || !ScreenToClient(dialog, &bottomRight)) return;
  PictureFrame.left = topLeft.x;
  PictureFrame.top = topLeft.y;
  PictureFrame.right = bottomRight.x;
  PictureFrame.bottom = bottomRight.y;
  PictureFrameValid = TRUE;
  ShowWindow(frame, SW_HIDE);
}

BOOL OnInitStatus(HWND dialog) {
  SetDialogTitle(dialog, StatusTitle);
  CentreOnScreen(dialog);
  SetForegroundWindow(dialog);
  SetFocus(GetDlgItem(dialog, IDC_OK_BUTTON));
  ArmDrumReset(dialog);
  return TRUE;
}

BOOL OnInitRecovery(HWND dialog) {
  SetDialogTitle(dialog, RecoveryTitle);
  MoveToSavedPosition(dialog);
  SetFocus(GetDlgItem(dialog, IDC_OK_BUTTON));
  MeasurePictureFrame(dialog);
  ArmDrumReset(dialog);
  return TRUE;
}

// The pictures, drawn for these DPI, largest first.
struct PictureSize {
  UINT dpi;
  LONG offset;  // bitmap id = icon id + offset
};
const PictureSize kPictureSizes[] = {
    {192, IDB_PICTURE_192_OFFSET}, {144, IDB_PICTURE_144_OFFSET}, {96, IDB_PICTURE_OFFSET}};
const int kPictureSizeCount = sizeof(kPictureSizes) / sizeof(kPictureSizes[0]);

// The DPI the dialog is shown at: its monitor's where the system tells it per window (found at
// run time: Windows 10 and later), the system's otherwise.
UINT DialogDpi(HWND dialog, HDC dc) {
  typedef UINT(WINAPI * GetDpiForWindowFn)(HWND);
  static GetDpiForWindowFn getDpiForWindow = NULL;
  static BOOL looked = FALSE;
  if (!looked) {
    HMODULE user = GetModuleHandleA("user32.dll");
    if (user != NULL) {
      getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
          reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")));
    }
    looked = TRUE;
  }
  UINT dpi = getDpiForWindow != NULL ? getDpiForWindow(dialog) : 0;
  if (dpi == 0) dpi = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSY));
  return dpi != 0 ? dpi : 96;
}

// The picture of the icon drawn for the DPI nearest to dpi that fits the frame (the 96-DPI one
// at least); its size into info. NULL when the icon has no picture.
HBITMAP LoadPicture(LONG iconId, UINT dpi, LONG frameWidth, LONG frameHeight, BITMAP* info) {
  int first = kPictureSizeCount - 1;
  for (int i = kPictureSizeCount - 1; i > 0; --i) {
    if (dpi * 2 >= kPictureSizes[i].dpi + kPictureSizes[i - 1].dpi) first = i - 1;
  }
  for (int i = first; i < kPictureSizeCount; ++i) {
    HBITMAP picture = LoadBitmapA(Instance, MAKEINTRESOURCEA(iconId + kPictureSizes[i].offset));
    if (picture == NULL) continue;
    const bool last = i == kPictureSizeCount - 1;
    if (GetObjectA(picture, sizeof(*info), info) != 0 &&
        (last || (info->bmWidth <= frameWidth && info->bmHeight <= frameHeight))) {
      return picture;
    }
    DeleteObject(picture);
  }
  return NULL;
}

// Draws the picture that belongs to the icon, centred in the picture frame.
void DrawPicture(HWND dialog, HDC dc, LONG iconId) {
  if (iconId < kFirstPictureIcon || iconId > kLastPictureIcon) return;
  MeasurePictureFrame(dialog);
  if (!PictureFrameValid) return;
  BITMAP info;
  HBITMAP picture =
      LoadPicture(iconId, DialogDpi(dialog, dc), PictureFrame.right - PictureFrame.left,
                  PictureFrame.bottom - PictureFrame.top, &info);
  if (picture == NULL) return;
  HDC memory = CreateCompatibleDC(dc);
  if (memory != NULL) {
    HGDIOBJ previous = SelectObject(memory, picture);
    int frameWidth = PictureFrame.right - PictureFrame.left;
    int frameHeight = PictureFrame.bottom - PictureFrame.top;
    int dx = frameWidth > info.bmWidth ? (frameWidth - info.bmWidth) / 2 : 0;
    int dy = frameHeight > info.bmHeight ? (frameHeight - info.bmHeight) / 2 : 0;
    BitBlt(dc, PictureFrame.left + dx, PictureFrame.top + dy, info.bmWidth, info.bmHeight, memory,
           0, 0, SRCCOPY);
    SelectObject(memory, previous);
  }
  if (memory != NULL) DeleteDC(memory);
  DeleteObject(picture);
}

// A text of the current entry into a control: where the windows are Unicode, converted from
// the status file's code page, so it reads the same whatever the system's code page is.
void SetEntryText(HWND dialog, int id, const char* text) {
  static uint16_t wide[RECOVERY_TEXT_SIZE];
  if (Unicode.on && StatusTextToWide(&Display.current, text, wide, RECOVERY_TEXT_SIZE)) {
    Unicode.setDlgItemText(dialog, id, reinterpret_cast<LPCWSTR>(wide));
  } else {
    SetDlgItemTextA(dialog, id, text);
  }
}

void OnPaint(HWND dialog) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  const StatusEntry& entry = Display.current;
  if (entry.iconId == 0) {
    // An entry without a usable icon shows none rather than the previous entry's.
    SendDlgItemMessageA(dialog, IDC_STATUS_ICON, STM_SETICON, 0, 0);
  } else {
    HICON icon = LoadIconA(Instance, MAKEINTRESOURCEA(entry.iconId));
    if (icon != NULL) {
      SendDlgItemMessageA(dialog, IDC_STATUS_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
  }
  SetEntryText(dialog, IDC_STATUS_TEXT, entry.statusText);
  if (GetDlgItem(dialog, IDC_RECOVERY_TEXT) != NULL) {
    SetEntryText(dialog, IDC_RECOVERY_TEXT, entry.recoveryText);
    if (dc != NULL) DrawPicture(dialog, dc, entry.iconId);
  }
  EndPaint(dialog, &paint);
}

void OnOkButton(HWND dialog) {
  UnregisterHotKey(dialog, IDH_DRUM_RESET);
  HWND main = FindMainWindow();
  char path[STATUS_PATH_SIZE];
  OkAction action = DecideOkButton(&Display, CurrentStatusFilePath(path));
  if (action == OK_SHOW_STICKY && main != NULL) {
    // The held entry comes back into this dialog through the display decision.
    PostMessageA(main, DLM_ENTRY_READY, Display.filter.stickyCode, 0);
    return;
  }
  if (main != NULL) EndShowing(main);  // the program ends, and this dialog with it
  EndDialog(dialog, 0);
}

void OnRecoveryButton(HWND dialog) {
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof(placement);
  if (GetWindowPlacement(dialog, &placement)) {
    RecoveryDialogPos.x = placement.rcNormalPosition.left;
    RecoveryDialogPos.y = placement.rcNormalPosition.top;
  } else {
    RecoveryDialogPos.x = 0;
    RecoveryDialogPos.y = 0;
  }
  UnregisterHotKey(dialog, IDH_DRUM_RESET);
  EndDialog(dialog, 1);
}

void RequestResetPrompt(HWND dialog) {
  if (ResetPromptBusy) return;
  ResetPromptBusy = TRUE;
  PostMessageA(dialog, DLM_DRUM_RESET, 0, 0);
}

// The reset prompt is up (its message box runs modally and dispatches further requests).
BOOL ResetPromptUp;

void RunResetPrompt(HWND dialog) {
  if (ResetPromptUp) return;  // never a second prompt inside the first
  ResetPromptUp = TRUE;
  ResetPromptBusy = TRUE;
  SetWindowPos(dialog, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  MessageBeep(MB_ICONEXCLAMATION);
  char text[kPromptTextSize];
  char caption[kPromptTextSize];
  LoadStringA(Instance, IDS_RESET_PROMPT, text, kPromptTextSize);
  LoadStringA(Instance, IDS_RESET_CAPTION, caption, kPromptTextSize);
  int answer = MessageBoxA(dialog, text, caption,
                           MB_OKCANCEL | MB_ICONHAND | MB_TASKMODAL | MB_SETFOREGROUND);
  ResetPromptBusy = FALSE;
  ResetPromptUp = FALSE;
  SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (answer != IDOK) return;
  if (!RequestDrumReset()) return;  // no status thread: nothing to ask
  // A drum code on display has been answered: the dialog goes, the program stays.
  if (ApplyDrumResetConfirmed(&Display)) EndDialog(dialog, 0);
}

// What both dialogs share; only their opening differs.
INT_PTR CommonDialogProc(HWND dialog, UINT message, WPARAM wParam) {
  switch (message) {
    case WM_PAINT:
      OnPaint(dialog);
      return FALSE;
    case WM_CLOSE:
      UnregisterHotKey(dialog, IDH_DRUM_RESET);
      EndDialog(dialog, 0);
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
        case IDC_OK_BUTTON:
          OnOkButton(dialog);
          break;
        case IDC_RECOVERY_BUTTON:
          OnRecoveryButton(dialog);
          break;
      }
      return FALSE;
    case WM_LBUTTONDOWN:
      if ((wParam & (MK_CONTROL | MK_SHIFT)) == (MK_CONTROL | MK_SHIFT)) {
        RequestResetPrompt(dialog);
      }
      return FALSE;
    case WM_HOTKEY:
      if (wParam == IDH_DRUM_RESET) RequestResetPrompt(dialog);
      return FALSE;
    case DLM_DRUM_RESET:
      RunResetPrompt(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR CALLBACK StatusDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return OnInitStatus(dialog);
  return CommonDialogProc(dialog, message, wParam);
}

INT_PTR CALLBACK RecoveryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return OnInitRecovery(dialog);
  return CommonDialogProc(dialog, message, wParam);
}
