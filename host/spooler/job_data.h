// The bytes a write step sends: a PJL job of generated pages, generated raw bytes, a file, or
// a text with escapes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "spool_options.h"

// false with a message in error when the step names a file that cannot be read.
bool BuildJobData(const Step& step, uint32_t jobId, std::string* out, std::string* error);

// count pseudo-random bytes from seed, never ESC (so they never end the page data).
void FillGenerated(uint8_t* out, size_t count, uint32_t seed);
