// The status message file reader over arbitrary file contents: the fuzzer's bytes become a
// file (kept in memory), and LookupStatusEntry looks several codes up in it. Besides the
// sanitizers' checks: the texts stay terminated inside their buffers, a found entry carries the
// code asked for, and a lookup that fails leaves the entry exactly as it was.
//
// Input: the first four bytes choose one more code to look up (besides fixed ones: 0, the
// first code of the installed files, a paper-out code and the largest one); the rest is the file.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "fake_files.h"
#include "status_entry_support.h"
#include "status_file.h"

namespace {

// The reader opens this path; the native file functions serve it from memory.
const char kPath[] = "C:\\windows\\system32\\qvl9999";

void CheckEntry(const StatusEntry& entry) {
  if (memchr(entry.statusText, 0, sizeof entry.statusText) == nullptr) abort();
  if (memchr(entry.recoveryText, 0, sizeof entry.recoveryText) == nullptr) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  DWORD chosen = 0;
  memcpy(&chosen, data, 4);
  const char* path = kPath;
  FakeFileSet(path, data + 4, size - 4);

  const DWORD codes[] = {0, 10001, 41000, 99999, chosen % 100000, chosen};
  StatusEntry entry = PreviousStatusEntry();
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
