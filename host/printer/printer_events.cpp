// The printer's event log: a ring of the latest events, and their names and one-line form.
#include <stdarg.h>
#include <stdio.h>

#include "emulated_printer_internal.h"

namespace {

const char* const EventKindNames[EV_KIND_COUNT] = {
    // ORDER: PrinterEventKind
    "power-on",  "connect",       "port-job-start", "port-job-end",   "pjl",        "pjl-ignored",
    "job-start", "job-end",       "page",           "condition",      "remedy",     "status",
    "reply",     "reply-dropped", "drum-reset",     "engine-ignored", "input-held",
};
static_assert(sizeof(EventKindNames) / sizeof(EventKindNames[0]) == EV_KIND_COUNT,
              "one name per event kind");

// Copies text into a detail field, printable: line ends become blanks, other control bytes
// dots; a form feed ends it.
void CopyPrintable(char* out, size_t room, const char* text, size_t length) {
  size_t used = 0;
  for (size_t i = 0; i < length && used + 1 < room; i++) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == FF) break;
    if (c == '\r') continue;
    if (c == '\n') {
      if (used > 0 && i + 1 < length && text[i + 1] != FF) out[used++] = ' ';
      continue;
    }
    out[used++] = (c < 0x20 || c >= 0x7F) ? '.' : static_cast<char>(c);
  }
  out[used] = '\0';
}

}  // namespace

void LogText(EmulatedPrinter* p, PrinterEventKind kind, uint32_t value, const char* text,
             size_t length) {
  uint32_t slot;
  if (p->eventCount < EVENT_LOG_ENTRIES) {
    slot = (p->eventFirst + p->eventCount++) % EVENT_LOG_ENTRIES;
  } else {
    slot = p->eventFirst;
    p->eventFirst = (p->eventFirst + 1) % EVENT_LOG_ENTRIES;
    p->eventsLost++;
  }
  PrinterEvent* e = &p->events[slot];
  e->timeMs = static_cast<uint32_t>(p->now - p->powerOnMs);
  e->kind = kind;
  e->value = value;
  CopyPrintable(e->detail, sizeof(e->detail), text, length);
  if (p->config.onEvent != nullptr) p->config.onEvent(p->config.eventContext, e);
}

void Log(EmulatedPrinter* p, PrinterEventKind kind, uint32_t value, const char* format, ...) {
  char text[EVENT_DETAIL_ROOM];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  size_t length = n < 0 ? 0 : (static_cast<size_t>(n) < sizeof(text) ? n : sizeof(text) - 1);
  LogText(p, kind, value, text, length);
}

uint32_t EmulatedPrinterEventCount(const EmulatedPrinter* p) {
  return p->eventCount;
}

const PrinterEvent* EmulatedPrinterEventAt(const EmulatedPrinter* p, uint32_t index) {
  if (index >= p->eventCount) return nullptr;
  return &p->events[(p->eventFirst + index) % EVENT_LOG_ENTRIES];
}

uint32_t EmulatedPrinterEventsLost(const EmulatedPrinter* p) {
  return p->eventsLost;
}

const char* PrinterEventKindName(uint32_t kind) {
  return kind < EV_KIND_COUNT ? EventKindNames[kind] : "unknown";
}

size_t FormatPrinterEvent(const PrinterEvent* e, char* out, size_t room) {
  if (room == 0) return 0;
  int n = snprintf(out, room, "%8lu ms  %-14s %6lu  %s", static_cast<unsigned long>(e->timeMs),
                   PrinterEventKindName(e->kind), static_cast<unsigned long>(e->value), e->detail);
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room - 1;
}
