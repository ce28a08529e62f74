// Hooks of the POSIX stand-in: a table of functions that a native program may register to
// steer the stand-in (make calls fail, see debug output, change how long waits last, answer
// for the system directory, serve files from memory) and to own handles the stand-in does not
// hand out itself. The product never includes this; it sees only win32.h.
//
// Every slot may be NULL: the stand-in then does what it does without hooks. Slots are called
// from any thread, concurrently, and must be thread-safe.
#pragma once

#include "win32_posix.h"

struct Win32PosixHooks {
  // Called first by every CreateEventA (before an existing named event is looked up); TRUE
  // makes the call fail: NULL, last error ERROR_NOT_ENOUGH_MEMORY.
  BOOL (*failCreateEvent)(LPCSTR name);
  // Called first by every CreateThread with the stack size asked for; TRUE makes the call
  // fail: NULL, last error ERROR_NOT_ENOUGH_MEMORY, no thread started.
  BOOL (*failCreateThread)(SIZE_T stackSize);
  // Called first by every LocalAlloc; TRUE makes it return NULL (the last error is left).
  BOOL (*failLocalAlloc)(UINT flags, SIZE_T bytes);
  // Given every OutputDebugStringA text, as passed.
  void (*debugOutput)(LPCSTR text);
  // How long Sleep and the timed waits of WaitForSingleObject last for a given time in
  // milliseconds (never called for INFINITE). GetTickCount is not affected.
  DWORD (*scaleTime)(DWORD milliseconds);
  // Answers GetSystemDirectoryA in place of the stand-in's "C:\windows\system32", with that
  // function's contract (length without the NUL; the size needed when the buffer is too
  // small; 0 on failure).
  UINT (*getSystemDirectory)(LPSTR buffer, UINT size);
  // Called first by CloseHandle; TRUE when the handle was one the program's own functions
  // handed out (file mappings, which the stand-in does not implement) and is now closed.
  BOOL (*closeHandle)(HANDLE handle);
  // Called by _lopen for a path opened for reading, before the file system: a handle below
  // -1 when the hook serves the path itself, HFILE_ERROR to leave it to the file system.
  HFILE (*openFile)(LPCSTR path, int mode);
  // _lread, _llseek and _lclose of the handles below -1 that openFile handed out.
  UINT (*readFile)(HFILE file, LPVOID buffer, UINT bytes);
  LONG (*seekFile)(HFILE file, LONG offset, int origin);
  HFILE (*closeFile)(HFILE file);
};

// Registers the table (NULL: none). The table is used in place, not copied, and must outlive
// every call into the stand-in; a program registers it once, before it starts threads.
void Win32PosixSetHooks(const Win32PosixHooks* hooks);
// The table registered now (NULL when none).
const Win32PosixHooks* Win32PosixGetHooks(void);

// What the stand-in holds now: named events alive, and threads started by CreateThread whose
// start routine has not returned.
int Win32PosixNamedObjectCount(void);
// WideCharToMultiByte calls so far that passed a default character or asked whether one was
// used: a text that the target code page cannot hold came out with characters replaced.
int Win32PosixDefaultCharConversions(void);
int Win32PosixRunningThreads(void);
