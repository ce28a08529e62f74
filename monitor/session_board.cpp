// The board of the NT display link, written by the monitor. Readers in other processes copy an
// entry and then check its number again: an entry's number is 0 while it is written and is set
// last, and the board's number after it, so a reader never takes a half-written entry.
#include "session_board.h"

#include "shared_fields.h"

namespace {

void CopyName(uint16_t* to, const uint16_t* from) {
  uint32_t i = 0;
  for (; from != NULL && from[i] != 0 && i + 1 < SESSION_PRINTER_CHARS; ++i) to[i] = from[i];
  for (; i < SESSION_PRINTER_CHARS; ++i) to[i] = 0;
}

}  // namespace

void SessionBoardReady(SessionBoard* board, bool (*ownerAlive)(uint32_t owner)) {
  const bool existed =
      board->magic == SESSION_BOARD_MAGIC && board->version == SESSION_BOARD_VERSION;
  if (!existed) {
    board->version = SESSION_BOARD_VERSION;
    board->reserved = 0;
    StoreShared(&board->sequence, 0u);
  }
  for (SessionPort& port : board->ports) {
    if (existed && LoadShared(&port.inUse) != 0 && ownerAlive(port.owner)) continue;
    StoreShared(&port.inUse, 0u);
    port.owner = 0;
    CopyName(port.printer, NULL);
  }
  StoreShared(&board->magic, static_cast<uint32_t>(SESSION_BOARD_MAGIC));
}

uint32_t SessionPublish(SessionBoard* board, uint32_t kind, uint32_t code, uint32_t model,
                        const uint16_t* printer) {
  const uint32_t n = SessionNextNumber(LoadShared(&board->sequence));
  SessionEntry& entry = board->entries[n % SESSION_ENTRIES];
  StoreShared(&entry.sequence, 0u);
  entry.kind = kind;
  entry.code = code;
  entry.model = model;
  CopyName(entry.printer, printer);
  StoreShared(&entry.sequence, n);
  StoreShared(&board->sequence, n);
  return n;
}

int SessionClaimPort(SessionBoard* board, const uint16_t* printer, uint32_t owner) {
  for (int i = 0; i < static_cast<int>(SESSION_PORTS); ++i) {
    SessionPort& port = board->ports[i];
    if (LoadShared(&port.inUse) != 0) continue;
    CopyName(port.printer, printer);
    port.owner = owner;
    StoreShared(&port.inUse, 1u);
    return i;
  }
  return -1;
}

void SessionRenamePort(SessionBoard* board, int slot, const uint16_t* printer) {
  if (slot < 0 || slot >= static_cast<int>(SESSION_PORTS)) return;
  CopyName(board->ports[slot].printer, printer);
}

void SessionReleasePort(SessionBoard* board, int slot) {
  if (slot < 0 || slot >= static_cast<int>(SESSION_PORTS)) return;
  StoreShared(&board->ports[slot].inUse, 0u);
  board->ports[slot].owner = 0;
  CopyName(board->ports[slot].printer, NULL);
}
