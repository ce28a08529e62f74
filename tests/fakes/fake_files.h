// Files kept in memory for the file functions of the stand-in (_lopen and the others), for
// fuzzers and benchmarks that would otherwise write a file per input.
#pragma once

#include <stddef.h>

// Makes _lopen of path read these bytes (copied) instead of the file system; NULL data forgets
// the path.
void FakeFileSet(const char* path, const void* data, size_t size);
