// The per-port status thread: reads the printer's replies, applies them, resets the drum
// counter on request, and ends a deferred job.
#pragma once

#include "port_record.h"
#include "status_token.h"

BOOL StartStatusThread(PortRecord* record);
DWORD WINAPI StatusThread(LPVOID record);
DWORD ReadReplies(PortRecord* record);
ParseResult DispatchReplies(PortRecord* record, char* text, DWORD* consumed);

// Drum counter reset commands, written byte for byte (without a NUL): ESC ESC NUL, then the
// reset command of the printer's engine.
inline constexpr char DRUM_RESET_LONG[] = "\x1b\x1b\0ENG_CMD,0x54;";  // QV-L3820
inline constexpr char DRUM_RESET_SHORT[] = "\x1b\x1b\0RE_PU;";        // the maker's others
inline constexpr DWORD DRUM_RESET_LONG_LENGTH = sizeof DRUM_RESET_LONG - 1;
inline constexpr DWORD DRUM_RESET_SHORT_LENGTH = sizeof DRUM_RESET_SHORT - 1;
static_assert(DRUM_RESET_LONG_LENGTH == 16 && DRUM_RESET_SHORT_LENGTH == 9,
              "the commands are 16 and 9 bytes");
