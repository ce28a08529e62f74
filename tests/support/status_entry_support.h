// A status entry filled in before a lookup, for the status message file reader's tests and
// fuzzer: a lookup that fails must leave it exactly so.
#pragma once

#include <string.h>

#include "status_file.h"

inline StatusEntry PreviousStatusEntry() {
  StatusEntry entry = {};
  entry.code = 12345;
  entry.group = 7;
  entry.iconId = 6005;
  strcpy(entry.statusText, "previous status");
  strcpy(entry.recoveryText, "previous recovery");
  return entry;
}
