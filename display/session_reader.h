// The display program's side of the NT display link's board (session_link.h): the publications
// it has not seen yet, and the port slots of a printer. Portable: the program maps the board
// from the named section; tests use one in memory.
#pragma once

#include "session_link.h"
#include "win32.h"

// Whether the board is one this program can read.
BOOL SessionBoardUsable(const SessionBoard* board);

// Where a reader stands: zero-filled before its first read.
struct SessionReader {
  uint32_t seen;  // the number of the latest publication read
  BOOL started;   // it has read the board at least once
};

// Copies into out (room for max entries) the publications the reader has not read, oldest
// first. At its first read a reader takes the board's current state: the codes a program running
// all along would show now (the latest printer whose status thread has not ended, since the last
// code of another printer). One that fell more than a ring behind takes what the ring still
// holds. Entries overwritten while they were copied are left out. Returns the count.
uint32_t SessionReadNew(const SessionBoard* board, SessionReader* reader, SessionEntry* out,
                        uint32_t max);

// Marks in slots (SESSION_PORTS flags) the port slots whose printer is printer; returns how many.
uint32_t SessionPortsOf(const SessionBoard* board, const uint16_t* printer, BOOL* slots);
