// The display link of the NT-family systems. There the spooler is a service in a session of its
// own: it cannot start a program that a user sees, nor find or post to a user's windows. The
// monitor therefore publishes what the display program needs through kernel objects in the
// global namespace, which the display program of every signed-in user reads:
//
//   - the status board: a named section holding the latest publications (status codes, the end
//     of a port's status thread) in a ring, and the ports whose drum counter can be reset;
//   - one change event per publication: "...Change <n>" is set when publication n is on the
//     board. The monitor keeps the event of the next publication open; a reader that has seen
//     publication n opens "...Change <n + 1>" and waits on it, so several readers wait at once
//     without polling, and a reader that opens it late finds the board already moved on;
//   - one drum reset event per port slot: a reader sets the event of the slot whose printer its
//     dialog shows, and only that port's status thread writes the reset command.
//
// The layout uses fixed-width types only: 32-bit and 64-bit programs read the same board.
// The monitor (in the service) creates every object, with a security descriptor that lets
// signed-in users read the board, wait on the change events and set the drum reset events, and
// nothing more; only the service's account and administrators may publish. Monitors of more
// than one process may write one board, each under the board lock.
#pragma once

#include <stdint.h>

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
  SESSION_PRINTER_CHARS = 256,  // a printer name: up to 255 UTF-16 units and a NUL
  SESSION_ENTRIES = 64,         // publications kept in the ring
  SESSION_PORTS = 32,           // port slots with a drum reset event
};

// What a publication says.
enum : uint32_t {
  SESSION_STATUS_CODE = 1,   // code and model of the named printer
  SESSION_THREAD_ENDED = 2,  // the named printer's status thread ended: its dialogs close
};

struct SessionEntry {
  uint32_t sequence;                        // the publication's number; 0 while it is being written
  uint32_t kind;                            // SESSION_STATUS_CODE or SESSION_THREAD_ENDED
  uint32_t code;                            // status code
  uint32_t model;                           // model number of the printer
  uint16_t printer[SESSION_PRINTER_CHARS];  // the spooler's name of the printer, NUL-terminated
};

struct SessionPort {
  uint32_t inUse;                           // 1 while a port holds the slot
  uint32_t owner;                           // process id of the monitor whose port holds it
  uint16_t printer[SESSION_PRINTER_CHARS];  // its printer's name, NUL-terminated
};

// The number of the publication after n (0 is never a publication's number).
inline uint32_t SessionNextNumber(uint32_t n) {
  return n + 1 == 0 ? 1 : n + 1;
}

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
