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

// ---- The status board of the global namespace: going away with the link above.
// Object names (wide); the numbered ones take the decimal number at the end.
#define SESSION_BOARD_NAME L"Global\\QVL Status Display Board"
#define SESSION_CHANGE_EVENT_PREFIX L"Global\\QVL Status Display Change "
#define SESSION_DRUM_EVENT_PREFIX L"Global\\QVL Status Display Drum Reset "
// Held by a monitor while it writes the board: monitors of several processes may share it.
#define SESSION_LOCK_NAME L"Global\\QVL Status Display Board Lock"

// Security descriptors (SDDL): SYSTEM and administrators have every right; signed-in
// (interactive) users: the board's query and read rights, SYNCHRONIZE on the change events,
// SYNCHRONIZE and EVENT_MODIFY_STATE on the drum reset events.
#define SESSION_BOARD_SDDL L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x5;;;IU)"
#define SESSION_CHANGE_SDDL L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x100000;;;IU)"
#define SESSION_DRUM_SDDL L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x100002;;;IU)"
#define SESSION_LOCK_SDDL L"D:P(A;;GA;;;SY)(A;;GA;;;BA)"

enum : uint32_t {
  SESSION_BOARD_MAGIC = 0x42535651,  // "QVSB"
  SESSION_BOARD_VERSION = 1,
  SESSION_ENTRIES = 64,  // publications kept in the ring
  SESSION_PORTS = 32,    // port slots with a drum reset event
};

struct SessionPort {
  uint32_t inUse;                           // 1 while a port holds the slot
  uint32_t owner;                           // process id of the monitor whose port holds it
  uint16_t printer[SESSION_PRINTER_CHARS];  // its printer's name, NUL-terminated
};

// "prefix<n>" into out, which has room for the prefix and ten digits.
template <typename Char>
void SessionObjectName(const Char* prefix, uint32_t n, Char* out) {
  uint32_t i = 0;
  for (; prefix[i] != 0; ++i) out[i] = prefix[i];
  Char digits[10];
  uint32_t count = 0;
  do {
    digits[count++] = static_cast<Char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  while (count != 0) out[i++] = digits[--count];
  out[i] = 0;
}
enum : uint32_t { SESSION_NAME_ROOM = 64 };  // room for any object name above

struct SessionBoard {
  uint32_t magic;     // SESSION_BOARD_MAGIC once the board is ready
  uint32_t version;   // SESSION_BOARD_VERSION
  uint32_t sequence;  // number of the latest publication (0: none yet); publication n stands
                      // in entries[n % SESSION_ENTRIES]
  uint32_t reserved;  // 0
  SessionEntry entries[SESSION_ENTRIES];
  SessionPort ports[SESSION_PORTS];  // slot i's drum reset event is "...Drum Reset <i>"
};
