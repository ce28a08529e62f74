// NT mode, --watch-display: the monitor's publications on the status board, as "board"
// records of the timeline (what: code, with code and model, or thread-ended; printer).
#pragma once

#include <windows.h>

// Starts the reading thread; false when the board is not there (the monitor made none).
bool BoardWatchStartThread();
