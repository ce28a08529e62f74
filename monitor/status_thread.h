// The per-port status thread: reads the printer's replies, applies them, resets the drum
// counter on request, and ends a deferred job.
#pragma once

#include "port_record.h"

BOOL StartStatusThread(PortRecord* record);
DWORD WINAPI StatusThread(LPVOID record);
DWORD ReadReplies(PortRecord* record);
uint32_t DispatchReplies(PortRecord* record, char* text, DWORD* consumed);

// Drum counter reset commands, written byte for byte.
extern const char DRUM_RESET_LONG[16];
extern const char DRUM_RESET_SHORT[9];
