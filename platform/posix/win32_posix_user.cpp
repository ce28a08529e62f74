// Bodies of the functions declared in win32_posix_user.h.
#include "win32_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "win32_posix_hooks.h"

// Handles below -1 come from the openFile hook; the hook's slots read, move and close them.

HFILE _lopen(LPCSTR path, int mode) {
  // Only reading is needed natively; sharing modes have no POSIX counterpart.
  if ((mode & 3) != OF_READ) return HFILE_ERROR;
  const Win32PosixHooks* hooks = Win32PosixGetHooks();
  if (hooks && hooks->openFile) {
    HFILE served = hooks->openFile(path, mode);
    if (served < -1) return served;
  }
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  return fd < 0 ? HFILE_ERROR : fd;
}

UINT _lread(HFILE file, LPVOID buffer, UINT bytes) {
  if (file < -1) {
    const Win32PosixHooks* hooks = Win32PosixGetHooks();
    return hooks && hooks->readFile ? hooks->readFile(file, buffer, bytes) : (UINT)HFILE_ERROR;
  }
  ssize_t got;
  do {
    got = read(file, buffer, bytes);
  } while (got < 0 && errno == EINTR);
  return got < 0 ? (UINT)HFILE_ERROR : (UINT)got;
}

LONG _llseek(HFILE file, LONG offset, int origin) {
  if (file < -1) {
    const Win32PosixHooks* hooks = Win32PosixGetHooks();
    return hooks && hooks->seekFile ? hooks->seekFile(file, offset, origin) : HFILE_ERROR;
  }
  int whence = origin == FILE_BEGIN ? SEEK_SET : origin == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  off_t at = lseek(file, offset, whence);
  return at < 0 ? HFILE_ERROR : (LONG)at;
}

HFILE _lclose(HFILE file) {
  if (file < -1) {
    const Win32PosixHooks* hooks = Win32PosixGetHooks();
    return hooks && hooks->closeFile ? hooks->closeFile(file) : HFILE_ERROR;
  }
  return close(file) == 0 ? 0 : HFILE_ERROR;
}
