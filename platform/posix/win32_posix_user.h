// Further Win32 functions that the display program's portable code uses natively: the
// Windows 95 file functions of the status message file reader. Declarations only; bodies in
// win32_posix_user.cpp.
#pragma once

typedef int HFILE;

#define HFILE_ERROR ((HFILE)-1)
#define OF_READ 0x0000
#define OF_SHARE_DENY_WRITE 0x0020
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

// Files by path; the handle is a POSIX file descriptor, or a handle below -1 to a file that
// the openFile hook serves (win32_posix_hooks.h).
HFILE _lopen(LPCSTR path, int mode);
UINT _lread(HFILE file, LPVOID buffer, UINT bytes);
LONG _llseek(HFILE file, LONG offset, int origin);
HFILE _lclose(HFILE file);
