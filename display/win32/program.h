// Program-wide state of qvlpanel and the operations its windows share. One thread owns all of
// it: the message loop and the modal loops of the dialogs.
#pragma once

#include <windows.h>

#include "session_link.h"
#include "status_filter.h"
#include "titles.h"

extern HINSTANCE Instance;
extern LONG ReceivedModelNumber;             // lParam of the latest status code message
extern char StatusTitle[TITLE_SIZE];         // rebuilt on every status code
extern char RecoveryTitle[TITLE_SIZE];       // rebuilt on every status code
extern char ShownStatusTitle[TITLE_SIZE];    // title the open dialogs were opened under
extern char ShownRecoveryTitle[TITLE_SIZE];  // its recovery counterpart
extern DisplayState Display;                 // current entry, sticky code, drum code flag
extern BOOL SessionOnly;                     // started at sign-in: the NT display link alone
extern HWND SessionMainWindow;               // then: its own hidden main window
extern BOOL ShownFromSession;                // the printer on display came by the NT display link
extern uint16_t ShownPrinter[SESSION_PRINTER_CHARS];  // its name on the status board

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

// The NT display link (session_link_client.cpp): the status board, read by a thread that posts
// DLM_SESSION_CHANGED to window. FALSE where the system or the monitor has no board.
BOOL OpenSessionLink(HWND window);
void CloseSessionLink(void);
// Publications not handled yet, oldest first; the count.
UINT ReadSessionEntries(SessionEntry* entries, UINT room);
// Drum counter reset request and its state for the ports of a printer of the board.
BOOL SessionDrumResetPending(const uint16_t* printer);
BOOL SessionRequestDrumReset(const uint16_t* printer);
// The current model's status message file; NULL when the system directory cannot be read.
const char* CurrentStatusFilePath(char* path);
