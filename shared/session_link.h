// The display link of the NT-family systems. There the spooler is a service in a session of its
// own: it cannot start a program that a user sees, nor find or post to a user's windows. The
// monitor therefore publishes each printer's status as printer data of that printer, which the
// spooler keeps under the printer's own access control and serves to the sessions of this
// machine and to the clients of a print server alike:
//
//   - key SESSION_DATA_KEY, value SESSION_STATUS_VALUE (REG_BINARY, one SessionStatus): written
//     by the monitor's own publishing thread, only when it changes. A reader needs the right to
//     use the printer (PRINTER_ACCESS_USE) to read it;
//   - value SESSION_DRUM_RESET_VALUE (REG_DWORD) under the same key: a user's request to reset
//     the drum counter, naming the sequence number of the drum code's publication it answers.
//     Writing printer data needs the right to manage the printer (PRINTER_ACCESS_ADMINISTER),
//     so the spooler's own access check decides who may reset. The monitor acts on a request
//     only while that publication's drum code is still shown, once, and deletes it.
//
// No job ids, job owners or document names are published. The layout uses fixed-width types
// only: 32-bit and 64-bit programs read the same value.
#pragma once

#include <stdint.h>

#define SESSION_DATA_KEY L"QVL Status Display"
#define SESSION_STATUS_VALUE L"Status"
#define SESSION_DRUM_RESET_VALUE L"Drum Reset"

enum : uint32_t {
  SESSION_STATUS_VERSION = 1,
  SESSION_PRINTER_CHARS = 256,  // a printer name: up to 255 UTF-16 units and a NUL
  SESSION_RECENT = 8,           // publications whose codes the record still holds
};
// In recent[]: that publication was a thread's end.
constexpr uint32_t SESSION_RECENT_ENDED = 0xFFFFFFFFu;

struct SessionStatus {
  uint32_t version;       // SESSION_STATUS_VERSION
  uint32_t spoolerStart;  // changes at each start of the spooler (of its monitor): a status of
                          // an earlier start is left over from before a restart or a crash
  uint32_t sequence;      // the publication's number for this printer in this spooler start,
                          // from 1
  uint32_t code;          // the status code (0: none shown)
  uint32_t model;         // the printer's model number
  uint32_t threadEnded;   // 1: the printer's status thread has ended: its dialogs close
  // recent[n % SESSION_RECENT]: the code of publication n (SESSION_RECENT_ENDED for a thread's
  // end), for the last SESSION_RECENT publications: a reader that reads at its own pace still
  // takes every code published since its last read, in order.
  uint32_t recent[SESSION_RECENT];
};

// The number of the publication after n (0 is never a publication's number).
inline uint32_t SessionNextNumber(uint32_t n) {
  return n + 1 == 0 ? 1 : n + 1;
}

// What a display program takes from one publication (session_watch.h).
enum : uint32_t {
  SESSION_STATUS_CODE = 1,   // code and model of the named printer
  SESSION_THREAD_ENDED = 2,  // the named printer's status thread ended: its dialogs close
};

struct SessionEntry {
  uint32_t sequence;                        // the publication's number
  uint32_t kind;                            // SESSION_STATUS_CODE or SESSION_THREAD_ENDED
  uint32_t code;                            // status code
  uint32_t model;                           // model number of the printer
  uint16_t printer[SESSION_PRINTER_CHARS];  // the printer's name as the reader opened it
};
