// The contract between the language monitor and the status display program: the only names,
// numbers and layouts the two deliverables share. Both include this header; neither links the
// other.
#pragma once

// Class name and window title of the display program's hidden main window (the same string).
#define DISPLAY_WINDOW_CLASS "Status Display for QVL Printers"
#define DISPLAY_WINDOW_TITLE "Status Display for QVL Printers"

// The program, started from the Windows system directory when its window is missing.
#define DISPLAY_PROGRAM_FILE "qvlpanel.exe"

// Named shared memory holding the name of the printer whose port sent the latest code.
#define SHARED_PRINTER_NAME_MAPPING "Status Display Printer Name"
#define SHARED_PRINTER_NAME_SIZE 48

// Named manual-reset event: set by the program to ask for a drum counter reset.
#define DRUM_RESET_EVENT_NAME "QVLPANEL Reset the Drum Counter"

// Status message files: system directory, backslash, this prefix, model number in decimal.
#define STATUS_FILE_PREFIX "qvl"

// Messages, counted from WM_USER (1024). Only DLM_STATUS_CODE and WM_DESTROY cross processes.
#define DLM_STATUS_CODE 1034      // monitor -> program: wParam status code, lParam model number
#define DLM_ENTRY_READY 1035      // program -> itself: wParam code of the entry just loaded
#define DLM_OPEN_STATUS 1036      // program -> itself: open the status dialog
#define DLM_OPEN_RECOVERY 1037    // program -> itself: open the recovery dialog
#define DLM_DRUM_RESET 1038       // program -> its open dialog: run the drum reset prompt
#define DLM_SESSION_CHANGED 1039  // program's link thread -> its window: the status board changed

// The display program started at sign-in on the NT-family systems reads the status board of
// session_link.h alone; its hidden window has a title of its own, so a monitor of the Windows
// 95 generation does not take it for the program it starts.
#define DISPLAY_SIGNIN_SWITCH "/signin"
// With it: the dialogs of every printer the user may use, not only where the user has a job.
#define DISPLAY_ALL_SWITCH "/all"
#define DISPLAY_SESSION_WINDOW_TITLE "Status Display for QVL Printers - Session"
