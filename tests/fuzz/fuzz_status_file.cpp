// The status message file reader over arbitrary file contents: the fuzzer's bytes become a
// file, and LookupStatusEntry looks several codes up in it. Besides the sanitizers' checks:
// the texts stay terminated inside their buffers, a found entry carries the code asked for,
// and a lookup that fails leaves the entry exactly as it was.
//
// Input: the first four bytes choose one more code to look up (besides fixed ones: 0, the
// first code of the installed files, a paper-out code and the largest one); the rest is the file.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "status_file.h"

namespace {

const char* FilePath() {
  static char path[64];
  if (!path[0]) snprintf(path, sizeof path, "/tmp/fuzz-status-file-%d", static_cast<int>(getpid()));
  return path;
}

void CheckEntry(const StatusEntry& entry) {
  if (memchr(entry.statusText, 0, sizeof entry.statusText) == nullptr) abort();
  if (memchr(entry.recoveryText, 0, sizeof entry.recoveryText) == nullptr) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  DWORD chosen = 0;
  memcpy(&chosen, data, 4);
  const char* path = FilePath();
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  fwrite(data + 4, 1, size - 4, f);
  fclose(f);

  const DWORD codes[] = {0, 10001, 41000, 99999, chosen % 100000, chosen};
  StatusEntry entry = {};
  entry.code = 12345;
  entry.group = 1;
  entry.iconId = 6001;
  strcpy(entry.statusText, "before");
  strcpy(entry.recoveryText, "before too");
  for (DWORD code : codes) {
    StatusEntry before = entry;
    if (LookupStatusEntry(path, code, &entry)) {
      if (entry.code != code) abort();
    } else if (memcmp(&before, &entry, sizeof entry) != 0) {
      abort();
    }
    CheckEntry(entry);
  }
  return 0;
}
