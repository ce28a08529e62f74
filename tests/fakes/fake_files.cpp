// Files kept in memory (fake_files.h), served through the stand-in's file hooks.
#include "fake_files.h"

#include <string.h>

#include <map>
#include <mutex>
#include <string>

#include "fake_hooks.h"

namespace {

// Files kept in memory, and the open handles to them. Their handles count down from -2, so
// they never meet a file descriptor or HFILE_ERROR.
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

HFILE FakeFileOpen(LPCSTR path, int) {
  std::lock_guard<std::mutex> guard(memoryLock);
  auto file = memoryFiles.find(path);
  if (file == memoryFiles.end()) return HFILE_ERROR;
  HFILE handle = nextMemoryHandle--;
  if (nextMemoryHandle < -1000000) nextMemoryHandle = -2;
  memoryHandles[handle] = MemoryFileHandle{&file->second, 0};
  return handle;
}

UINT FakeFileRead(HFILE file, LPVOID buffer, UINT bytes) {
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

LONG FakeFileSeek(HFILE file, LONG offset, int origin) {
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

HFILE FakeFileClose(HFILE file) {
  std::lock_guard<std::mutex> guard(memoryLock);
  return memoryHandles.erase(file) ? 0 : HFILE_ERROR;
}
