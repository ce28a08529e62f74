// Bodies of the functions declared in win32_posix_user.h.
#include "win32_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>

namespace {

// Files kept in memory (FakeFileSet), and the open handles to them. Their handles count down
// from -2, so they never meet a file descriptor or HFILE_ERROR.
struct MemoryFileHandle {
  const std::string* bytes;
  size_t at;
};

std::mutex memoryLock;
std::map<std::string, std::string> memoryFiles;
std::map<HFILE, MemoryFileHandle> memoryHandles;
HFILE nextMemoryHandle = -2;

}  // namespace

void FakeFileSet(const char* path, const void* data, size_t size) {
  std::lock_guard<std::mutex> guard(memoryLock);
  if (data) {
    memoryFiles[path].assign(static_cast<const char*>(data), size);
  } else {
    memoryFiles.erase(path);
  }
}

HFILE _lopen(LPCSTR path, int mode) {
  // Only reading is needed natively; sharing modes have no POSIX counterpart.
  if ((mode & 3) != OF_READ) return HFILE_ERROR;
  {
    std::lock_guard<std::mutex> guard(memoryLock);
    auto file = memoryFiles.find(path);
    if (file != memoryFiles.end()) {
      HFILE handle = nextMemoryHandle--;
      if (nextMemoryHandle < -1000000) nextMemoryHandle = -2;
      memoryHandles[handle] = MemoryFileHandle{&file->second, 0};
      return handle;
    }
  }
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  return fd < 0 ? HFILE_ERROR : fd;
}

UINT _lread(HFILE file, LPVOID buffer, UINT bytes) {
  if (file < -1) {
    std::lock_guard<std::mutex> guard(memoryLock);
    auto h = memoryHandles.find(file);
    if (h == memoryHandles.end()) return (UINT)HFILE_ERROR;
    size_t size = h->second.bytes->size();
    size_t n = h->second.at >= size ? 0 : size - h->second.at;
    if (n > bytes) n = bytes;
    memcpy(buffer, h->second.bytes->data() + h->second.at, n);
    h->second.at += n;
    return (UINT)n;
  }
  ssize_t got;
  do {
    got = read(file, buffer, bytes);
  } while (got < 0 && errno == EINTR);
  return got < 0 ? (UINT)HFILE_ERROR : (UINT)got;
}

LONG _llseek(HFILE file, LONG offset, int origin) {
  if (file < -1) {
    std::lock_guard<std::mutex> guard(memoryLock);
    auto h = memoryHandles.find(file);
    if (h == memoryHandles.end()) return HFILE_ERROR;
    long long base = origin == FILE_BEGIN     ? 0
                     : origin == FILE_CURRENT ? (long long)h->second.at
                                              : (long long)h->second.bytes->size();
    long long at = base + offset;
    if (at < 0) return HFILE_ERROR;
    h->second.at = (size_t)at;
    return (LONG)at;
  }
  int whence = origin == FILE_BEGIN ? SEEK_SET : origin == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  off_t at = lseek(file, offset, whence);
  return at < 0 ? HFILE_ERROR : (LONG)at;
}

HFILE _lclose(HFILE file) {
  if (file < -1) {
    std::lock_guard<std::mutex> guard(memoryLock);
    return memoryHandles.erase(file) ? 0 : HFILE_ERROR;
  }
  return close(file) == 0 ? 0 : HFILE_ERROR;
}
