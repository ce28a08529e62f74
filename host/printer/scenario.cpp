// Scenario text reader. One step per line:
//   <trigger> <condition> [tray=N] [size=N] [code=N]
//   remedy after=<time> | remedy command
// A remedy line belongs to the step above it.
#include "scenario.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <new>

namespace {

struct Cursor {
  const char* p;
  const char* end;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Next blank-separated word of the line; length 0 at the end of the line.
void NextWord(Cursor* c, const char** word, uint32_t* length) {
  while (c->p < c->end && IsBlank(*c->p)) c->p++;
  *word = c->p;
  while (c->p < c->end && !IsBlank(*c->p)) c->p++;
  *length = static_cast<uint32_t>(c->p - *word);
}

bool WordIs(const char* word, uint32_t length, const char* literal) {
  return strlen(literal) == length && memcmp(word, literal, length) == 0;
}

// Unsigned decimal of the whole text; false on no digit, another character or above limit.
bool ReadNumber(const char* text, uint32_t length, uint32_t limit, uint32_t* value) {
  if (length == 0) return false;
  uint64_t v = 0;
  for (uint32_t i = 0; i < length; i++) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + static_cast<uint32_t>(text[i] - '0');
    if (v > limit) return false;
  }
  *value = static_cast<uint32_t>(v);
  return true;
}

// A time: digits followed by "ms" or "s", at most one day.
bool ReadTime(const char* text, uint32_t length, uint32_t* ms) {
  const uint32_t kDay = 86400000;
  if (length > 2 && memcmp(text + length - 2, "ms", 2) == 0) {
    return ReadNumber(text, length - 2, kDay, ms);
  }
  uint32_t seconds = 0;
  if (length > 1 && text[length - 1] == 's' &&
      ReadNumber(text, length - 1, kDay / 1000, &seconds)) {
    *ms = seconds * 1000;
    return true;
  }
  return false;
}

bool Fail(char* error, size_t room, uint32_t line, const char* format, ...) {
  if (room == 0) return false;
  int used = snprintf(error, room, "line %lu: ", static_cast<unsigned long>(line));
  if (used < 0 || static_cast<size_t>(used) >= room) return false;
  va_list args;
  va_start(args, format);
  vsnprintf(error + used, room - static_cast<size_t>(used), format, args);
  va_end(args);
  return false;
}

// Words are quoted in messages with at most this many characters.
int Shown(uint32_t length) {
  return length > 40 ? 40 : static_cast<int>(length);
}

bool ParseRemedy(Cursor* c, Scenario* out, bool* remedySet, uint32_t line, char* error,
                 size_t room) {
  if (out->count == 0) return Fail(error, room, line, "remedy without a step before it");
  if (*remedySet)
    return Fail(error, room, line, "second remedy for the step of line %lu",
                static_cast<unsigned long>(out->steps[out->count - 1].line));
  ScenarioStep* step = &out->steps[out->count - 1];
  const char* word;
  uint32_t length;
  NextWord(c, &word, &length);
  if (WordIs(word, length, "command")) {
    step->remedy = REMEDY_COMMAND;
  } else if (length > 6 && memcmp(word, "after=", 6) == 0) {
    if (!ReadTime(word + 6, length - 6, &step->remedyMs)) {
      return Fail(error, room, line, "bad time '%.*s' (write e.g. 1500ms or 2s)", Shown(length - 6),
                  word + 6);
    }
    step->remedy = REMEDY_AFTER;
  } else {
    return Fail(error, room, line, "remedy needs 'after=<time>' or 'command'");
  }
  NextWord(c, &word, &length);
  if (length != 0) return Fail(error, room, line, "unexpected '%.*s'", Shown(length), word);
  *remedySet = true;
  return true;
}

bool ParseStep(Cursor* c, const char* word, uint32_t length, Scenario* out, uint32_t line,
               char* error, size_t room) {
  ScenarioStep step;
  memset(&step, 0, sizeof(step));
  step.line = line;
  step.tray = 1;
  step.size = 2;
  step.remedy = REMEDY_COMMAND;
  if (WordIs(word, length, "at")) {
    step.trigger = TRIGGER_AT;
  } else if (WordIs(word, length, "after-page")) {
    step.trigger = TRIGGER_AFTER_PAGE;
  } else if (WordIs(word, length, "after-job")) {
    step.trigger = TRIGGER_AFTER_JOB;
  } else {
    return Fail(error, room, line, "unknown trigger '%.*s' (at, after-page, after-job or remedy)",
                Shown(length), word);
  }
  NextWord(c, &word, &length);
  if (step.trigger == TRIGGER_AT) {
    if (!ReadTime(word, length, &step.when)) {
      return Fail(error, room, line, "bad time '%.*s' (write e.g. 1500ms or 2s)", Shown(length),
                  word);
    }
  } else if (!ReadNumber(word, length, 1000000, &step.when)) {
    return Fail(error, room, line, "bad count '%.*s'", Shown(length), word);
  }
  NextWord(c, &word, &length);
  PrinterCondition condition = FindCondition(word, length);
  if (condition == COND_COUNT) {
    return Fail(error, room, line, "unknown condition '%.*s'", Shown(length), word);
  }
  step.condition = condition;
  for (NextWord(c, &word, &length); length != 0; NextWord(c, &word, &length)) {
    uint32_t value = 0;
    if (length > 5 && memcmp(word, "tray=", 5) == 0 &&
        ReadNumber(word + 5, length - 5, 9, &value) && value >= 1) {
      step.tray = static_cast<uint8_t>(value);
    } else if (length > 5 && memcmp(word, "size=", 5) == 0 &&
               ReadNumber(word + 5, length - 5, 99, &value)) {
      step.size = value;
    } else if (length > 5 && memcmp(word, "code=", 5) == 0 &&
               ReadNumber(word + 5, length - 5, 99999, &value) && value >= 10000) {
      step.code = value;
    } else {
      return Fail(error, room, line, "bad option '%.*s' (tray=1..9, size=0..99, code=10000..99999)",
                  Shown(length), word);
    }
  }
  if ((step.tray != 1 || step.size != 2) && !ConditionTable[condition].perTray) {
    return Fail(error, room, line, "tray= and size= only go with paper-out and tray-empty");
  }
  if (out->count == MAX_SCENARIO_STEPS) {
    return Fail(error, room, line, "more than %d steps", MAX_SCENARIO_STEPS);
  }
  out->steps[out->count++] = step;
  return true;
}

}  // namespace

bool ParseScenario(const char* text, size_t length, Scenario* out, char* error, size_t room) {
  out->count = 0;
  if (room != 0) error[0] = '\0';
  const char* end = text + length;
  const char* lineStart = text;
  bool remedySet = false;
  for (uint32_t line = 1; lineStart < end; line++) {
    const char* lineEnd = static_cast<const char*>(memchr(lineStart, '\n', end - lineStart));
    if (lineEnd == nullptr) lineEnd = end;
    const char* hash = static_cast<const char*>(memchr(lineStart, '#', lineEnd - lineStart));
    Cursor c = {lineStart, hash != nullptr ? hash : lineEnd};
    if (memchr(lineStart, '\0', c.end - lineStart) != nullptr) {
      return Fail(error, room, line, "NUL byte in the text");
    }
    const char* word;
    uint32_t wordLength;
    NextWord(&c, &word, &wordLength);
    if (wordLength == 0) {
      // blank or comment line
    } else if (WordIs(word, wordLength, "remedy")) {
      if (!ParseRemedy(&c, out, &remedySet, line, error, room)) return false;
    } else {
      if (!ParseStep(&c, word, wordLength, out, line, error, room)) return false;
      remedySet = false;
    }
    lineStart = lineEnd + 1;
  }
  return true;
}

bool LoadScenarioFile(const char* path, Scenario* out, char* error, size_t room) {
  out->count = 0;
  FILE* file = fopen(path, "rb");
  if (file == nullptr) {
    snprintf(error, room, "%s: cannot open", path);
    return false;
  }
  // One byte more than allowed, so that an over-long file is noticed.
  char* text = new (std::nothrow) char[MAX_SCENARIO_FILE + 1];
  if (text == nullptr) {
    fclose(file);
    snprintf(error, room, "%s: out of memory", path);
    return false;
  }
  size_t length = fread(text, 1, MAX_SCENARIO_FILE + 1, file);
  bool readError = ferror(file) != 0;
  fclose(file);
  bool ok = false;
  if (readError) {
    snprintf(error, room, "%s: read error", path);
  } else if (length > MAX_SCENARIO_FILE) {
    snprintf(error, room, "%s: longer than %d bytes", path, MAX_SCENARIO_FILE);
  } else {
    char message[SCENARIO_ERROR_ROOM];
    ok = ParseScenario(text, length, out, message, sizeof(message));
    if (!ok) snprintf(error, room, "%s: %s", path, message);
  }
  delete[] text;
  return ok;
}
