// Program-wide state of qvlpanel and the operations its windows share. One thread owns all of
// it: the message loop and the modal loops of the dialogs.
#pragma once

#include <windows.h>

#include "session_link.h"
#include "status_filter.h"
#include "titles.h"

// The Unicode functions of user32. The NT family has them; the Windows 95 generation has some
// as stubs that fail and lacks others, so they are found at run time, and the program's
// windows are Unicode only when every one of them is there on an NT system.
struct UnicodeUser {
  BOOL on;
  ATOM(WINAPI* registerClass)(const WNDCLASSW* windowClass);
  HWND(WINAPI* createWindowEx)
  (DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y, int width,
   int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);
  LRESULT(WINAPI* defWindowProc)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL(WINAPI* getMessage)(LPMSG msg, HWND window, UINT first, UINT last);
  LRESULT(WINAPI* dispatchMessage)(const MSG* msg);
  INT_PTR(WINAPI* dialogBoxParam)
  (HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM parameter);
  BOOL(WINAPI* setWindowText)(HWND window, LPCWSTR text);
  BOOL(WINAPI* setDlgItemText)(HWND dialog, int id, LPCWSTR text);
  HWND(WINAPI* findWindowEx)(HWND parent, HWND after, LPCWSTR className, LPCWSTR title);
  int(WINAPI* loadString)(HINSTANCE instance, UINT id, LPWSTR text, int size);
};
extern UnicodeUser Unicode;

// A dialog title: the system's code page on the Windows 95 generation, UTF-16 where the
// windows are Unicode (only the form in use is filled).
struct DialogTitle {
  char ansi[TITLE_SIZE];
  uint16_t wide[TITLE_SIZE];
};
// Sets the title of a dialog of this program.
void SetDialogTitle(HWND dialog, const DialogTitle& title);

extern HINSTANCE Instance;
extern LONG ReceivedModelNumber;        // lParam of the latest status code message
extern DialogTitle StatusTitle;         // rebuilt on every status code
extern DialogTitle RecoveryTitle;       // rebuilt on every status code
extern DialogTitle ShownStatusTitle;    // title the open dialogs were opened under
extern DialogTitle ShownRecoveryTitle;  // its recovery counterpart
extern DisplayState Display;            // current entry, sticky code, drum code flag
extern BOOL SessionOnly;                // started at sign-in: the NT display link alone
extern HWND SessionMainWindow;          // then: its own hidden main window
extern BOOL ShownFromSession;           // the printer on display came by the NT display link
extern uint16_t ShownPrinter[SESSION_PRINTER_CHARS];  // its name as the link read it
extern uint32_t ShownSequence;                        // the publication of the code on display

extern BOOL ResetPromptBusy;     // a reset prompt is requested or up
extern POINT RecoveryDialogPos;  // where "Recovery >>" found the status dialog
extern RECT PictureFrame;        // where the recovery dialog draws its picture
extern BOOL PictureFrameValid;   // PictureFrame was measured

// Main window procedure (exported under this name) and the dialogs' procedures.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK StatusDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RecoveryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The monitor's side of the link, as the program sees it.
BOOL ReadSharedPrinterName(char* name);  // name: PRINTER_NAME_SIZE bytes
BOOL DrumResetPending(void);             // the reset event exists and is signalled
BOOL RequestDrumReset(void);             // sets the reset event; FALSE when it does not exist
HWND FindMainWindow(void);
// The program ends; started at sign-in it stays and only what it shows ends (its dialogs close
// and its state is as at its start).
void EndShowing(HWND mainWindow);

// The NT display link (session_link_client.cpp): a worker thread reads the printers' status as
// printer data and posts DLM_SESSION_CHANGED to window; all: every printer the user may use,
// not only those where the user has a job. FALSE where the system has no such link.
BOOL OpenSessionLink(HWND window, BOOL all);
void CloseSessionLink(void);
// Publications not handled yet, oldest first; the count.
UINT ReadSessionEntries(SessionEntry* entries, UINT room);
// The drum counter reset request for the publication sequence of printer's drum code: the
// spooler's error (ERROR_ACCESS_DENIED without the right to manage the printer).
DWORD WriteDrumResetRequest(const uint16_t* printer, uint32_t sequence);
// drum_reset_request.cpp: the request, offering elevation where the token needs it, and telling
// the user when it is refused; and the elevated program's part: -1 without "/drumreset".
BOOL RequestSessionDrumReset(const uint16_t* printer, uint32_t sequence);
int RunDrumResetSwitch(void);
// The current model's status message file; NULL when the system directory cannot be read.
const char* CurrentStatusFilePath(char* path);
