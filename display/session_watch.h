// The display program's side of the NT display link (session_link.h), the part that decides:
// what a printer's status, read again, means to the program, and whether the user gets that
// printer's dialogs at all. Portable: the program reads the printer data through the spooler;
// tests hand it records.
#pragma once

#include "session_link.h"
#include "win32.h"

// What the program has taken of one printer's status.
struct SessionSeen {
  BOOL seen;              // a status of the printer has been taken
  uint32_t spoolerStart;  // the publication taken last
  uint32_t sequence;
};

// Takes the status read now (size bytes of it) into seen and puts what the program is to do
// into out (room entries; their printer left alone), oldest first; returns the count (0:
// nothing new, or not a status this program reads). A printer seen for the first time (the
// program just started, the printer was just found, or it just came into the user's view)
// shows its current code, unless its status thread has ended. After that every publication
// since the last read counts, as far as the record still holds them; a new start of the
// spooler starts afresh.
uint32_t SessionTake(SessionSeen* seen, const SessionStatus& status, uint32_t size,
                     SessionEntry* out, uint32_t room);

// How long after the user's last job left a printer's queue the user still gets its dialogs:
// the printer may still be printing a job that the spooler has handed over.
enum : DWORD { SESSION_JOB_AFTERGLOW_MS = 10 * 60 * 1000 };

// Whether the user gets the printer's dialogs: with /all always; otherwise while the user has a
// job in its queue, or had one there within SESSION_JOB_AFTERGLOW_MS (lastJobTick: the tick the
// user's job was last seen there, 0 for never).
BOOL SessionInView(BOOL all, BOOL jobNow, DWORD lastJobTick, DWORD now);

// Whether a job's owner (user and machine as the spooler lists them) is this user on this
// machine: the user name without regard to letter case, the machine name with or without its
// leading backslashes; a job without a machine name is matched by the user alone.
BOOL SessionOwnJob(const uint16_t* jobUser, const uint16_t* jobMachine, const uint16_t* user,
                   const uint16_t* machine);
