// The reply stream as the status thread reads it: ReadReplies on a port whose port monitor
// hands out the fuzzer's bytes in pieces of the fuzzer's choosing (reads that bring nothing,
// reads that fail, pieces that cut replies anywhere), called again and again as the thread
// would until the bytes are used up. The port is a printer of another maker (PJL parser) or
// one of the maker's (plain parser), as the first byte says. The record is allocated to its
// exact size, so a write past the reply buffer or a read past its end reaches a red zone.
//
// Input: byte 0 mode (bit 0: maker's printer; bit 1: QV-L3820), byte 1 count n of piece
// sizes (n % 16), then n piece sizes (0: a read that brings nothing, 255: a failed read), then
// the bytes the printer sends.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "display_link.h"
#include "fake_display_link.h"
#include "fake_kernel.h"
#include "fake_spooler.h"
#include "port_record.h"
#include "status_thread.h"

namespace {

struct Feed {
  const uint8_t* bytes;
  size_t left;
  const uint8_t* pieces;
  size_t pieceCount;
  size_t next;  // index of the next piece size
} feed;

BOOL WINAPI FeedReadPort(HANDLE, LPBYTE buffer, DWORD size, LPDWORD read) {
  *read = 0;
  size_t piece = feed.pieceCount ? feed.pieces[feed.next++ % feed.pieceCount] : 1023;
  if (piece == 255) return FALSE;  // a failed read
  size_t n = piece < size ? piece : size;
  if (n > feed.left) n = feed.left;
  memcpy(buffer, feed.bytes, n);
  feed.bytes += n;
  feed.left -= n;
  *read = static_cast<DWORD>(n);
  return TRUE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  const size_t pieceCount = data[1] % 16;
  if (size < 2 + pieceCount) return 0;
  feed = Feed{data + 2 + pieceCount, size - 2 - pieceCount, data + 2, pieceCount, 0};

  FakeSpoolerReset(true);
  FakeDisplayLinkReset(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE, nullptr);
  // The display program runs, and no pause of the monitor takes real time.
  FakeDisplaySetWindow(true);
  FakeSetTimeScale(0, 1);

  const size_t recordSize = offsetof(PortRecord, portNameText) + 1;
  PortRecord* record = static_cast<PortRecord*>(calloc(1, recordSize));
  record->signature = PORT_RECORD_SIGNATURE;
  record->size = static_cast<DWORD>(recordSize);
  record->portName = record->portNameText;
  record->jobId = 7;
  record->flags = PF_IN_JOB | PF_JOB_OPEN | PF_PJL_PRINTER | PF_USTATUS_ON | PF_THREAD_RUN;
  if (mode & 1) record->flags |= PF_FAMILY_MAKER | PF_FAMILY_MODEL;
  if (mode & 2) record->flags |= PF_MODEL_3820;
  record->hWakeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  record->hReadDoneEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  record->portMonitor.pfnReadPort = FeedReadPort;

  // As the status thread: read again while bytes are left; every call returns with a kept
  // remainder that fits the buffer. Each call takes at least one piece, so this ends.
  const size_t maxCalls = 2 * (feed.left + pieceCount) + 4;
  for (size_t call = 0; call < maxCalls; ++call) {
    DWORD got = ReadReplies(record);
    if (record->replyKept >= sizeof record->replyBuffer - 1) abort();
    if (got > sizeof record->replyBuffer - 1) abort();
    if (feed.left == 0 && got == 0) break;
  }
  if (feed.left != 0 && pieceCount == 0) abort();  // unlimited pieces must use up the bytes

  CloseHandle(record->hWakeEvent);
  CloseHandle(record->hReadDoneEvent);
  free(record);
  return 0;
}
