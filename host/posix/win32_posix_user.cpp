// Bodies of the functions declared in win32_posix_user.h.
#include "win32_posix.h"

#include <fcntl.h>
#include <unistd.h>
#include <errno.h>

HFILE _lopen(LPCSTR path, int mode) {
  // Only reading is needed natively; sharing modes have no POSIX counterpart.
  if ((mode & 3) != OF_READ) return HFILE_ERROR;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  return fd < 0 ? HFILE_ERROR : fd;
}

UINT _lread(HFILE file, LPVOID buffer, UINT bytes) {
  ssize_t got;
  do {
    got = read(file, buffer, bytes);
  } while (got < 0 && errno == EINTR);
  return got < 0 ? (UINT)HFILE_ERROR : (UINT)got;
}

LONG _llseek(HFILE file, LONG offset, int origin) {
  int whence = origin == FILE_BEGIN ? SEEK_SET : origin == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  off_t at = lseek(file, offset, whence);
  return at < 0 ? HFILE_ERROR : (LONG)at;
}

HFILE _lclose(HFILE file) {
  return close(file) == 0 ? 0 : HFILE_ERROR;
}
