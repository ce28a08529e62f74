// What the waiting-time measurement watches from outside the product: the status dialog of the
// display program (found by its title, polled every millisecond), the NT display link's status
// publications (the monitor's writes of its Status printer data), the stand-in display window of
// qvlspool (--watch-display), and the display program's process. Times are NowMs(). Windows only.
#pragma once

#include <windows.h>
#include <stdint.h>

// Polls every millisecond until a visible top-level window titled title exists (visible), then
// until its status text control shows text (the dialog's first WM_PAINT sets it in place of the
// template's) (painted). false when the deadline (NowMs) passes first.
bool WaitDialog(const char* title, const char* text, double deadline, double* visible,
                double* painted);
// Until no window titled title is visible; false at the deadline.
bool WaitNoDialog(const char* title, double deadline);

// A status code the monitor published (wrote as its Status printer data) now.
void NotePublished(uint32_t code);
// The stand-in display window (class and title of the display program's) on a thread of this
// process: every DLM_STATUS_CODE it receives is noted with its time.
bool WatchWindowStart();
// The first code noted after the time after, published or received by the watch window; 0: none.
double Published(uint32_t code, double after);
double WatchReceived(uint32_t code, double after);

// The display program: started as the monitor starts it (hidden, from path, with the command
// line args), until its window titled windowTitle exists. NULL when it did not come up in 10 s.
HANDLE StartProgram(const char* path, const char* args, const char* windowTitle);
// The process whose window is titled windowTitle (NULL: none).
HANDLE ProgramOfWindow(const char* windowTitle);
// Waits for the process to end (ms at most); tells it to end with WM_DESTROY to its window
// first when windowTitle is given; ends it by force when it does not.
void EndProgram(HANDLE process, const char* windowTitle, DWORD ms);
