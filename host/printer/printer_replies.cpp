// The printer's replies: the outgoing queue and the status reply in both dialects.
#include <stdarg.h>
#include <stdio.h>

#include "emulated_printer_internal.h"

namespace {

// Queues a whole reply, or none of it: half a reply would confuse any reader.
void QueueReply(EmulatedPrinter* p, const char* text, size_t length) {
  if (length > QUEUE_ROOM - p->queueLength) {
    p->counters.repliesDropped++;
    LogText(p, EV_REPLY_DROPPED, static_cast<uint32_t>(length), text, length);
    return;
  }
  for (size_t i = 0; i < length; i++) {
    p->queue[(p->queueHead + p->queueLength + i) % QUEUE_ROOM] = static_cast<uint8_t>(text[i]);
  }
  p->queueLength += static_cast<uint32_t>(length);
  p->counters.repliesSent++;
  LogText(p, EV_REPLY, static_cast<uint32_t>(length), text, length);
}

}  // namespace

void Reply(EmulatedPrinter* p, const char* format, ...) {
  char text[REPLY_ROOM];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  // Every reply ends with its form feed; one that could not be built whole is not sent.
  if (n <= 0 || static_cast<size_t>(n) >= sizeof(text)) return;
  QueueReply(p, text, static_cast<size_t>(n));
}

bool Plain(const EmulatedPrinter* p) {
  return p->model->dialect == DIALECT_PLAIN;
}
const char* Equals(const EmulatedPrinter* p) {
  return p->model->spacedItems ? " = " : "=";
}

// The reported status: the most urgent active condition, or ready.
void CurrentStatus(const EmulatedPrinter* p, uint32_t* code, bool* online, const char** display) {
  for (uint32_t c = 0; c < COND_COUNT; c++) {
    if (p->conditions[c].active) {
      *code = p->conditions[c].code;
      *online = !ConditionTable[c].offline;
      *display = ConditionTable[c].display;
      return;
    }
  }
  *code = STATUS_CODE_READY;
  *online = true;
  *display = READY_DISPLAY;
}

// header: "USTATUS DEVICE" or "INFO STATUS".
void ReplyStatus(EmulatedPrinter* p, const char* header) {
  uint32_t code;
  bool online;
  const char* display;
  CurrentStatus(p, &code, &online, &display);
  if (Plain(p)) {
    Reply(p, "CODE%s%lu\r\nDISPLAY=\"%s\"\r\n\f", Equals(p), static_cast<unsigned long>(code),
          display);
  } else {
    Reply(p, "@PJL %s\r\nCODE=%lu\r\nDISPLAY=\"%s\"\r\nONLINE=%s\r\n\f", header,
          static_cast<unsigned long>(code), display, online ? "TRUE" : "FALSE");
  }
}

bool JobReportsOn(const EmulatedPrinter* p) {
  if (p->jobReports != REPORTS_DEFAULT) return p->jobReports == REPORTS_ON;
  // The plain dialect has no job item: an item-less reply would only spoil the reader's batch.
  return !Plain(p) && p->config.lenientJobReports;
}
