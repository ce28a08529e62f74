// The monitor's side of the NT display link's board (session_link.h): publications written into
// the ring, and the port slots of the drum reset events. Portable: the NT face maps the board
// from a named section; tests use one in memory.
#pragma once

#include "session_link.h"
#include "win32.h"

// Readies a board: a new one (all zero) gets its magic and version; one that already exists (a
// spooler started again while display programs held the board, or a monitor in another process)
// keeps its publication number, so waiting readers go on, and its port slots whose owner is
// alive; the others, whose ports are gone, are freed.
void SessionBoardReady(SessionBoard* board, bool (*ownerAlive)(uint32_t owner));

// Publishes one entry (one writer at a time: the caller serialises) and returns its number.
// printer is NUL-terminated UTF-16; a longer name is cut to SESSION_PRINTER_CHARS - 1 units.
uint32_t SessionPublish(SessionBoard* board, uint32_t kind, uint32_t code, uint32_t model,
                        const uint16_t* printer);

// Port slots (one writer at a time). A free slot for a port of printer, held by owner (a process
// id), or -1 when all are taken.
int SessionClaimPort(SessionBoard* board, const uint16_t* printer, uint32_t owner);
void SessionRenamePort(SessionBoard* board, int slot, const uint16_t* printer);
void SessionReleasePort(SessionBoard* board, int slot);
