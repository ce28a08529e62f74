// A stand-in for the display program's hidden window, for tests and timelines: a window of the
// program's class and title that reports each message the monitor posts to it (DLM_STATUS_CODE
// with the printer name then in the shared mapping, WM_DESTROY) instead of showing anything.
#pragma once

#include <windows.h>

// message, wParam, lParam as received; printerName: the shared mapping's text ("" when the
// mapping cannot be read).
typedef void (*DisplayWatchSink)(void* context, UINT message, WPARAM wParam, LPARAM lParam,
                                 const char* printerName);

// Creates the window on the calling thread; the caller runs the message loop. quitOnDestroy:
// a posted WM_DESTROY ends the loop (as the real program does), else the window stays.
HWND DisplayWatchCreate(DisplayWatchSink sink, void* context, bool quitOnDestroy);

// Runs the window on a thread of its own; returns once the window exists.
bool DisplayWatchStartThread(DisplayWatchSink sink, void* context);
