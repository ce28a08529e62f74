// The input scanner: the host's bytes as universal exit language, PJL lines, page data and
// engine commands.
#include <string.h>

#include "emulated_printer_internal.h"

namespace {

const char UEL[] = "\x1b%-12345X";  // universal exit language: back to PJL
const uint32_t UEL_LENGTH = 9;
const char ENGINE_PREFIX[] = "\x1b\x1b";  // engine commands: ESC ESC NUL body ';'
const uint32_t ENGINE_PREFIX_LENGTH = 3;  // the NUL included
const char DRUM_BODY_LONG[] = "ENG_CMD,0x54";
const char DRUM_BODY_SHORT[] = "RE_PU";

void EngineCommand(EmulatedPrinter* p, const uint8_t* body, size_t length) {
  const char* expected = nullptr;
  if (p->model->drumCommand == DRUM_CMD_LONG) expected = DRUM_BODY_LONG;
  if (p->model->drumCommand == DRUM_CMD_SHORT) expected = DRUM_BODY_SHORT;
  if (expected != nullptr && strlen(expected) == length && memcmp(expected, body, length) == 0) {
    DrumReset(p);
    return;
  }
  p->counters.enginesIgnored++;
  LogText(p, EV_ENGINE_IGNORED, static_cast<uint32_t>(length), reinterpret_cast<const char*>(body),
          length);
}

// One byte of an escape sequence: the UEL, an engine command, or page data after all.
void FeedEscape(EmulatedPrinter* p, uint8_t b) {
  p->escape[p->escapeLength++] = b;
  uint32_t n = p->escapeLength;
  if (n <= UEL_LENGTH && memcmp(p->escape, UEL, n) == 0) {
    if (n == UEL_LENGTH) {
      p->escapeLength = 0;
      EnterPjl(p);
    }
    return;
  }
  if (n <= ENGINE_PREFIX_LENGTH) {
    if (memcmp(p->escape, ENGINE_PREFIX, n) == 0) return;
  } else if (memcmp(p->escape, ENGINE_PREFIX, ENGINE_PREFIX_LENGTH) == 0) {
    if (b == ';') {
      p->escapeLength = 0;
      EngineCommand(p, p->escape + ENGINE_PREFIX_LENGTH, n - ENGINE_PREFIX_LENGTH - 1);
      if (p->escapeReturn == MODE_PJL) EnterPjl(p);
      return;
    }
    if (n < ESCAPE_ROOM) return;
  }
  // Not a sequence of ours: the ESC was page data; what followed it is read again, since it
  // may start a sequence itself. Each pass drops one byte, so this ends.
  uint8_t rest[ESCAPE_ROOM];
  memcpy(rest, p->escape + 1, n - 1);
  p->escapeLength = 0;
  for (uint32_t i = 0; i + 1 < n; i++) FeedByte(p, rest[i]);
}

// Page data; returnMode is the mode an engine command that starts here goes back to.
void FeedData(EmulatedPrinter* p, uint8_t b, uint8_t returnMode) {
  if (p->escapeLength != 0) {
    FeedEscape(p, b);
  } else if (b == ESC) {
    p->escapeReturn = returnMode;
    FeedEscape(p, b);
  } else if (b == FF && !p->discard) {
    p->counters.pagesReceived++;
    p->pageArrived = true;
  }
}

void FeedPjl(EmulatedPrinter* p, uint8_t b) {
  if (p->lineLength == 0 && !p->lineTooLong) {
    if (b == '\r' || b == '\n' || IsBlank(static_cast<char>(b))) return;
    if (b != '@') {
      // Not PJL: page data (or an escape) without ENTER LANGUAGE, as printers allow.
      p->mode = MODE_DATA;
      FeedData(p, b, MODE_PJL);
      return;
    }
  }
  if (b == ESC) {
    // An escape inside a line (usually a UEL): the unfinished line is dropped.
    LogText(p, EV_PJL_IGNORED, 0, p->line, p->lineLength);
    p->lineLength = 0;
    p->lineTooLong = false;
    p->mode = MODE_DATA;
    FeedData(p, b, MODE_PJL);
    return;
  }
  if (b == '\n') {
    size_t length = p->lineLength;
    if (length > 0 && p->line[length - 1] == '\r') length--;
    if (p->lineTooLong) {
      LogText(p, EV_PJL_IGNORED, 0, p->line, length);
    } else {
      ObeyPjlLine(p, p->line, length);
    }
    p->lineLength = 0;
    p->lineTooLong = false;
    return;
  }
  if (p->lineLength < LINE_ROOM) {
    p->line[p->lineLength++] = static_cast<char>(b);
  } else {
    p->lineTooLong = true;
  }
}

}  // namespace

void FeedByte(EmulatedPrinter* p, uint8_t b) {
  if (p->mode == MODE_PJL) {
    FeedPjl(p, b);
  } else {
    FeedData(p, b, MODE_DATA);
  }
}
