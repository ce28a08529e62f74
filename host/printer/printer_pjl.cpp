// PJL commands: the words of a line, jobs, INFO, INQUIRE, USTATUS, ECHO and ENTER.
#include <string.h>

#include "emulated_printer_internal.h"

namespace {

struct Words {
  const char* p;
  const char* end;
};

}  // namespace

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

static char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Next word: a quoted string (quotes kept), or up to a blank or '='; a lone '=' is a word.
static void NextWord(Words* w, const char** word, size_t* length) {
  while (w->p < w->end && IsBlank(*w->p)) w->p++;
  *word = w->p;
  if (w->p < w->end && *w->p == '"') {
    const char* close = static_cast<const char*>(memchr(w->p + 1, '"', w->end - w->p - 1));
    w->p = close != nullptr ? close + 1 : w->end;
  } else if (w->p < w->end && *w->p == '=') {
    w->p++;
  } else {
    while (w->p < w->end && !IsBlank(*w->p) && *w->p != '=') w->p++;
  }
  *length = static_cast<size_t>(w->p - *word);
}

// PJL words are not case-sensitive.
static bool WordIs(const char* word, size_t length, const char* literal) {
  if (strlen(literal) != length) return false;
  for (size_t i = 0; i < length; i++) {
    if (Upper(word[i]) != literal[i]) return false;
  }
  return true;
}

// Reads "KEY = VALUE" (blanks around '=' optional); false at the end of the line.
static bool NextOption(Words* w, const char** key, size_t* keyLength, const char** value,
                       size_t* valueLength) {
  NextWord(w, key, keyLength);
  if (*keyLength == 0) return false;
  Words look = *w;
  const char* eq;
  size_t eqLength;
  NextWord(&look, &eq, &eqLength);
  if (eqLength == 1 && *eq == '=') {
    *w = look;
    NextWord(w, value, valueLength);
  } else {
    *value = w->p;
    *valueLength = 0;
  }
  return true;
}

// Copies a quoted or bare value without its quotes, cut to fit.
static void CopyValue(char* out, size_t room, const char* value, size_t length) {
  if (length >= 2 && value[0] == '"' && value[length - 1] == '"') {
    value++;
    length -= 2;
  } else if (length >= 1 && value[0] == '"') {
    value++;
    length--;
  }
  if (length >= room) length = room - 1;
  memcpy(out, value, length);
  out[length] = '\0';
  for (size_t i = 0; i < length; i++) {
    // The name goes back inside quotes on a reply line.
    if (out[i] == '"' || static_cast<unsigned char>(out[i]) < 0x20) out[i] = '_';
  }
}

static void JobStart(EmulatedPrinter* p, Words* w) {
  char name[JOB_NAME_ROOM] = "";
  const char *key, *value;
  size_t keyLength, valueLength;
  while (NextOption(w, &key, &keyLength, &value, &valueLength)) {
    if (WordIs(key, keyLength, "NAME")) CopyValue(name, sizeof(name), value, valueLength);
  }
  p->counters.jobsStarted++;
  const uint32_t depth = p->jobDepth++;
  if (depth == 0) {
    memcpy(p->jobName, name, sizeof(name));
    p->jobFirstPage = p->counters.pagesReceived;
  } else if (p->config.reportNestedJobs && depth <= NESTED_JOB_ROOM) {
    memcpy(p->nestedName[depth - 1], name, sizeof(name));
    p->nestedFirstPage[depth - 1] = p->counters.pagesReceived;
  } else {
    return;  // a nested job belongs to the outer one
  }
  Log(p, EV_JOB_START, p->counters.jobsStarted, "%s", name);
  if (JobReportsOn(p)) Reply(p, "@PJL USTATUS JOB\r\nSTART\r\nNAME=\"%s\"\r\n\f", name);
}

void JobEnd(EmulatedPrinter* p) {
  if (p->jobDepth == 0) return;
  const uint32_t depth = --p->jobDepth;
  const bool nested = depth != 0;
  if (nested && (!p->config.reportNestedJobs || depth > NESTED_JOB_ROOM)) return;
  if (p->endCount == PENDING_END_ROOM) {
    // Bounded: the oldest job is reported before its last page is out.
    ReportJobEnd(p, &p->ends[0]);
    memmove(p->ends, p->ends + 1, (PENDING_END_ROOM - 1) * sizeof(p->ends[0]));
    p->endCount--;
  }
  PendingJobEnd* end = &p->ends[p->endCount++];
  memcpy(end->name, nested ? p->nestedName[depth - 1] : p->jobName, sizeof(end->name));
  end->firstPage = nested ? p->nestedFirstPage[depth - 1] : p->jobFirstPage;
  end->lastPage = p->counters.pagesReceived;
  end->nested = nested;
  CheckJobEnds(p);
}

static void ReplyInfo(EmulatedPrinter* p, const char* category, size_t length) {
  const PrinterModel* m = p->model;
  const char* eq = Equals(p);
  if (WordIs(category, length, "STATUS")) {
    ReplyStatus(p, "INFO STATUS");
  } else if (WordIs(category, length, "MEMORY")) {
    if (Plain(p)) {
      Reply(p, "TOTAL%s%lu\r\n\f", eq, static_cast<unsigned long>(m->memTotal));
    } else {
      Reply(p, "@PJL INFO MEMORY\r\nTOTAL=%lu\r\nLARGEST=%lu\r\n\f",
            static_cast<unsigned long>(m->memTotal), static_cast<unsigned long>(m->memLargest));
    }
  } else if (WordIs(category, length, "CONFIG")) {
    if (Plain(p)) {
      Reply(p, "%s%s%lu\r\n\f", m->configItem, eq, static_cast<unsigned long>(m->memInstalled));
    } else {
      Reply(p,
            "@PJL INFO CONFIG\r\nIN TRAYS [2 ENUMERATED]\r\n\tINTRAY1 MP\r\n\tINTRAY2 PC\r\n"
            "OUT TRAYS [1 ENUMERATED]\r\n\tNORMAL FACEDOWN\r\nMEMORY=%lu\r\n"
            "DISPLAY LINES=1\r\nDISPLAY CHARACTER SIZE=16\r\n\f",
            static_cast<unsigned long>(m->memInstalled));
    }
  } else if (WordIs(category, length, "ID")) {
    Reply(p, "@PJL INFO ID\r\n\"%s\"\r\n\f", m->name);
  } else {
    char shown[32];
    CopyValue(shown, sizeof(shown), category, length);
    Reply(p, "@PJL INFO %s\r\n\"?\"\r\n\f", shown);
  }
}

static void ReplyInquire(EmulatedPrinter* p, const char* command, const char* variable,
                         size_t length) {
  char shown[32];
  CopyValue(shown, sizeof(shown), variable, length);
  for (size_t i = 0; shown[i] != '\0'; i++) shown[i] = Upper(shown[i]);
  bool tray = length == 11 && memcmp(shown, "INTRAY", 6) == 0 && shown[6] >= '1' &&
              shown[6] <= '4' && memcmp(shown + 7, "SIZE", 4) == 0;
  Reply(p, "@PJL %s %s\r\n%s%s%s\r\n\f", command, shown, tray ? "" : "\"",
        tray ? p->model->paperName : "?", tray ? "" : "\"");
}

static void UstatusSetting(EmulatedPrinter* p, Words* w) {
  const char *key, *value;
  size_t keyLength, valueLength;
  if (!NextOption(w, &key, &keyLength, &value, &valueLength)) return;
  bool on = WordIs(value, valueLength, "ON") || WordIs(value, valueLength, "VERBOSE");
  bool off = WordIs(value, valueLength, "OFF");
  if (!on && !off) return;
  if (WordIs(key, keyLength, "DEVICE")) p->ustatusDevice = on;
  if (WordIs(key, keyLength, "JOB")) p->jobReports = on ? REPORTS_ON : REPORTS_OFF;
}

void EnterPjl(EmulatedPrinter* p) {
  p->mode = MODE_PJL;
  p->lineLength = 0;
  p->lineTooLong = false;
}

void ObeyPjlLine(EmulatedPrinter* p, const char* line, size_t length) {
  if (length < 4 || memcmp(line, "@PJL", 4) != 0 || (length > 4 && !IsBlank(line[4]))) {
    LogText(p, EV_PJL_IGNORED, 0, line, length);
    return;
  }
  Words w = {line + 4, line + length};
  const char* word;
  size_t wordLength;
  NextWord(&w, &word, &wordLength);
  if (wordLength == 0) return;  // "@PJL" alone: nothing to do
  LogText(p, EV_PJL, 0, line, length);
  if (WordIs(word, wordLength, "USTATUS")) {
    UstatusSetting(p, &w);
  } else if (WordIs(word, wordLength, "USTATUSOFF")) {
    p->ustatusDevice = false;
    p->jobReports = REPORTS_DEFAULT;
  } else if (WordIs(word, wordLength, "JOB")) {
    JobStart(p, &w);
  } else if (WordIs(word, wordLength, "EOJ")) {
    JobEnd(p);
  } else if (WordIs(word, wordLength, "INFO")) {
    NextWord(&w, &word, &wordLength);
    ReplyInfo(p, word, wordLength);
  } else if (WordIs(word, wordLength, "ECHO")) {
    // Echoed as sent, but a form feed or NUL in it would cut the reply short.
    char echo[LINE_ROOM];
    for (size_t i = 0; i < length; i++) echo[i] = (line[i] == FF || line[i] == 0) ? ' ' : line[i];
    Reply(p, "%.*s\r\n\f", static_cast<int>(length), echo);
  } else if (WordIs(word, wordLength, "INQUIRE") || WordIs(word, wordLength, "DINQUIRE")) {
    const char* command = Upper(word[0]) == 'D' ? "DINQUIRE" : "INQUIRE";
    NextWord(&w, &word, &wordLength);
    ReplyInquire(p, command, word, wordLength);
  } else if (WordIs(word, wordLength, "ENTER")) {
    p->mode = MODE_DATA;  // ENTER LANGUAGE = x: page data follows up to the next UEL
  }
  // SET, DEFAULT, COMMENT, RDYMSG and the rest change nothing that is emulated.
}
