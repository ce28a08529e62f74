// The emulated printer: input scanner (universal exit language, PJL lines, page data, engine
// commands), print engine with its conditions and scenario, reply queue and event log.
#include "emulated_printer.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <chrono>
#include <new>

namespace {

enum : uint8_t { ESC = 0x1B, FF = 0x0C };

enum {
  DEVICE_ID_ROOM = 1024,    // what the monitor reads a device ID into
  LINE_ROOM = 256,          // longest PJL line kept; longer ones are ignored whole
  ESCAPE_ROOM = 32,         // longest escape sequence recognised (engine commands)
  QUEUE_ROOM = 4096,        // reply bytes waiting for the host
  REPLY_ROOM = 512,         // longest single reply
  JOB_NAME_ROOM = 64,       // job names are cut to this (with the NUL)
  PENDING_END_ROOM = 8,     // ended jobs whose pages are still being printed
  DEFAULT_PAGE_BUFFER = 16  //
};

const char UEL[] = "\x1b%-12345X";  // universal exit language: back to PJL
const uint32_t UEL_LENGTH = 9;
const char ENGINE_PREFIX[] = "\x1b\x1b";  // engine commands: ESC ESC NUL body ';'
const uint32_t ENGINE_PREFIX_LENGTH = 3;  // the NUL included
const char DRUM_BODY_LONG[] = "ENG_CMD,0x54";
const char DRUM_BODY_SHORT[] = "RE_PU";

enum InputMode : uint8_t { MODE_PJL = 0, MODE_DATA = 1 };
enum JobReports : uint8_t { REPORTS_DEFAULT = 0, REPORTS_ON = 1, REPORTS_OFF = 2 };

struct ActiveCondition {
  bool active;
  uint8_t remedy;     // RemedyKind
  uint32_t code;      // reported code
  uint64_t remedyAt;  // for REMEDY_AFTER
};

struct PendingJobEnd {
  char name[JOB_NAME_ROOM];
  uint32_t firstPage;  // pagesReceived at JOB
  uint32_t lastPage;   // pagesReceived at EOJ: reported once pagesPrinted reaches it
};

}  // namespace

struct EmulatedPrinter {
  PortDevice port;  // first member: the port device's address is the printer's
  PrinterConfig config;
  const PrinterModel* model;
  char deviceId[DEVICE_ID_ROOM];
  Scenario scenario;
  bool fired[MAX_SCENARIO_STEPS];

  uint64_t powerOnMs;  // clock time at power-on
  uint64_t now;        // time up to which the printer has run

  // Input scanner.
  uint8_t mode;           // InputMode
  uint8_t escapeReturn;   // mode to go back to after an engine command
  bool discard;           //
  bool lineTooLong;       // the current PJL line overflowed; it is ignored at its end
  bool pageArrived;       // set when a form feed ended a page during the current byte
  bool inputHeld;         // page buffer full was logged
  uint32_t lineLength;    //
  uint32_t escapeLength;  //
  char line[LINE_ROOM];   //
  uint8_t escape[ESCAPE_ROOM];

  // PJL channel settings.
  bool ustatusDevice;
  uint8_t jobReports;  // JobReports

  // Jobs.
  uint32_t jobDepth;  // nested PJL JOBs open
  char jobName[JOB_NAME_ROOM];
  uint32_t jobFirstPage;
  PendingJobEnd ends[PENDING_END_ROOM];
  uint32_t endCount;
  uint32_t portJobId;

  // Engine.
  bool pageRunning;
  uint64_t pageStartMs;
  ActiveCondition conditions[COND_COUNT];
  uint32_t reportedCode;
  bool reportedOnline;
  PrinterCounters counters;

  // Replies.
  uint8_t queue[QUEUE_ROOM];
  uint32_t queueHead;
  uint32_t queueLength;

  // Event log (ring).
  PrinterEvent events[EVENT_LOG_ENTRIES];
  uint32_t eventFirst;
  uint32_t eventCount;
  uint32_t eventsLost;
};

// ---------------------------------------------------------------------------------------------
// Models

const PrinterModel PrinterModels[] = {
    // name, device ID, dialect, drum command, spaced, config item, paper, installed, total, largest
    {"generic", "MFG:Generic;MDL:LaserJet 4;CMD:PJL;", DIALECT_PJL, DRUM_CMD_NONE, false, "MEMORY",
     "LETTER", 2097152, 1494416, 1494176},
    // Reports its installed memory less the engine's own 212000 bytes (the monitor adds them).
    {"QV-L3820", "MFG:Zemblaxon;MDL:QV-L3820;CMD:PJL;", DIALECT_PLAIN, DRUM_CMD_LONG, false,
     "INSTALLED", "A4", 3982304, 2621440, 2097152},
    {"QV-L3470", "MFG:Zemblaxon;MDL:QV-L3470;CMD:PJL;", DIALECT_PLAIN, DRUM_CMD_SHORT, true,
     "MEMORY", "A4", 2097152, 1572864, 1048576},
    {nullptr, nullptr, DIALECT_PJL, DRUM_CMD_NONE, false, nullptr, nullptr, 0, 0, 0},
};

const PrinterModel* FindPrinterModel(const char* name) {
  for (const PrinterModel* m = PrinterModels; m->name != nullptr; m++) {
    if (strcmp(m->name, name) == 0) return m;
  }
  return nullptr;
}

void PrinterConfigDefaults(PrinterConfig* config, const PrinterModel* model) {
  memset(config, 0, sizeof(*config));
  config->model = model != nullptr ? model : &PrinterModels[0];
  config->pageBufferPages = DEFAULT_PAGE_BUFFER;
  if (config->model->drumCommand != DRUM_CMD_NONE) {
    config->drumLifePages = 20000;
    config->drumWarnPages = 1000;
  }
}

namespace {

// ---------------------------------------------------------------------------------------------
// Event log

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

// ---------------------------------------------------------------------------------------------
// Replies

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
  *code = STATUS_READY;
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
  return !Plain(p) && !p->config.jobReportsOnRequest;
}

// ---------------------------------------------------------------------------------------------
// Engine

void UpdateStatus(EmulatedPrinter* p) {
  uint32_t code;
  bool online;
  const char* display;
  CurrentStatus(p, &code, &online, &display);
  if (code == p->reportedCode && online == p->reportedOnline) return;
  p->reportedCode = code;
  p->reportedOnline = online;
  Log(p, EV_STATUS, code, "%s%s", display, online ? "" : " (offline)");
  if (p->ustatusDevice) ReplyStatus(p, "USTATUS DEVICE");
}

bool Halted(const EmulatedPrinter* p) {
  for (uint32_t c = 0; c < COND_COUNT; c++) {
    if (p->conditions[c].active && ConditionTable[c].blocks) return true;
  }
  return false;
}

void RaiseCondition(EmulatedPrinter* p, PrinterCondition condition, uint32_t code, uint8_t remedy,
                    uint32_t remedyMs) {
  ActiveCondition* a = &p->conditions[condition];
  a->active = true;
  a->code = code;
  a->remedy = remedy;
  a->remedyAt = p->now + remedyMs;
  if (ConditionTable[condition].blocks) p->pageRunning = false;  // the sheet is tried again
  Log(p, EV_CONDITION, code, "%s", ConditionTable[condition].name);
  UpdateStatus(p);
}

// Clears without reporting, so that several conditions can go at once with one report.
void DropCondition(EmulatedPrinter* p, uint32_t condition) {
  if (!p->conditions[condition].active) return;
  p->conditions[condition].active = false;
  Log(p, EV_REMEDY, p->conditions[condition].code, "%s", ConditionTable[condition].name);
}

void ClearCondition(EmulatedPrinter* p, uint32_t condition) {
  DropCondition(p, condition);
  UpdateStatus(p);
}

void ReportJobEnd(EmulatedPrinter* p, const PendingJobEnd* end) {
  uint32_t pages = end->lastPage - end->firstPage;
  p->counters.jobsEnded++;
  Log(p, EV_JOB_END, pages, "%s", end->name);
  if (JobReportsOn(p)) {
    Reply(p, "@PJL USTATUS JOB\r\nEND\r\nNAME=\"%s\"\r\nPAGES=%lu\r\n\f", end->name,
          static_cast<unsigned long>(pages));
  }
}

// Reports the ends of jobs whose last page is out.
void CheckJobEnds(EmulatedPrinter* p) {
  uint32_t done = 0;
  while (done < p->endCount && p->counters.pagesPrinted >= p->ends[done].lastPage) {
    ReportJobEnd(p, &p->ends[done]);
    done++;
  }
  if (done == 0) return;
  memmove(p->ends, p->ends + done, (p->endCount - done) * sizeof(p->ends[0]));
  p->endCount -= done;
}

void PagePrinted(EmulatedPrinter* p) {
  p->counters.pagesPrinted++;
  p->counters.drumPages++;
  Log(p, EV_PAGE, p->counters.pagesPrinted, "drum %lu",
      static_cast<unsigned long>(p->counters.drumPages));
  uint32_t life = p->config.drumLifePages;
  if (life != 0) {
    if (p->counters.drumPages >= life) {
      if (!p->conditions[COND_DRUM_END].active) {
        RaiseCondition(p, COND_DRUM_END, ConditionCode(COND_DRUM_END, Plain(p), 0, 0, 0),
                       REMEDY_COMMAND, 0);
      }
    } else if (p->counters.drumPages + p->config.drumWarnPages >= life &&
               !p->conditions[COND_DRUM_NEAR_END].active) {
      RaiseCondition(p, COND_DRUM_NEAR_END, ConditionCode(COND_DRUM_NEAR_END, Plain(p), 0, 0, 0),
                     REMEDY_COMMAND, 0);
    }
  }
  CheckJobEnds(p);
}

void FireStep(EmulatedPrinter* p, uint32_t index) {
  const ScenarioStep* s = &p->scenario.steps[index];
  p->fired[index] = true;
  PrinterCondition condition = static_cast<PrinterCondition>(s->condition);
  RaiseCondition(p, condition, ConditionCode(condition, Plain(p), s->tray, s->size, s->code),
                 s->remedy, s->remedyMs);
}

// Runs the printer up to time target, one happening at a time in time order: scenario steps,
// timed remedies and finished pages. Steps win ties, so a fault after page N comes before page
// N + 1 starts.
void RunUntil(EmulatedPrinter* p, uint64_t target) {
  const uint64_t kNever = ~static_cast<uint64_t>(0);
  for (;;) {
    uint64_t next = kNever;
    int step = -1;
    int remedy = -1;
    bool page = false;
    for (uint32_t i = 0; i < p->scenario.count; i++) {
      if (p->fired[i]) continue;
      const ScenarioStep* s = &p->scenario.steps[i];
      uint64_t due = kNever;
      if (s->trigger == TRIGGER_AT) {
        due = p->powerOnMs + s->when;
        if (due < p->now) due = p->now;
      } else if (s->trigger == TRIGGER_AFTER_PAGE && p->counters.pagesPrinted >= s->when) {
        due = p->now;
      } else if (s->trigger == TRIGGER_AFTER_JOB && p->counters.jobsEnded >= s->when) {
        due = p->now;
      }
      if (due < next) {
        next = due;
        step = static_cast<int>(i);
      }
    }
    for (uint32_t c = 0; c < COND_COUNT; c++) {
      const ActiveCondition* a = &p->conditions[c];
      if (a->active && a->remedy == REMEDY_AFTER && a->remedyAt < next) {
        next = a->remedyAt < p->now ? p->now : a->remedyAt;
        remedy = static_cast<int>(c);
        step = -1;
      }
    }
    if (p->counters.pagesPrinted != p->counters.pagesReceived && !Halted(p)) {
      if (!p->pageRunning) {
        p->pageRunning = true;
        p->pageStartMs = p->now;
      }
      if (p->pageStartMs + p->config.pageMs < next) {
        next = p->pageStartMs + p->config.pageMs;
        page = true;
        step = -1;
        remedy = -1;
      }
    }
    if (next == kNever || next > target) break;
    if (next > p->now) p->now = next;
    if (step >= 0) {
      FireStep(p, static_cast<uint32_t>(step));
    } else if (remedy >= 0) {
      ClearCondition(p, static_cast<uint32_t>(remedy));
    } else if (page) {
      p->pageRunning = false;
      PagePrinted(p);
    }
  }
  if (target > p->now) p->now = target;
}

uint64_t SteadyMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t ClockNow(const EmulatedPrinter* p) {
  return p->config.clock != nullptr ? p->config.clock(p->config.clockContext) : SteadyMs();
}

void Tick(EmulatedPrinter* p) {
  RunUntil(p, ClockNow(p));
}

bool BufferFull(const EmulatedPrinter* p) {
  return p->counters.pagesReceived - p->counters.pagesPrinted >= p->config.pageBufferPages;
}

void DrumReset(EmulatedPrinter* p) {
  p->counters.drumResets++;
  Log(p, EV_DRUM_RESET, p->counters.drumPages, "drum counter was %lu",
      static_cast<unsigned long>(p->counters.drumPages));
  p->counters.drumPages = 0;
  DropCondition(p, COND_DRUM_END);
  DropCondition(p, COND_DRUM_NEAR_END);
  UpdateStatus(p);
}

// ---------------------------------------------------------------------------------------------
// PJL commands

struct Words {
  const char* p;
  const char* end;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Next word: a quoted string (quotes kept), or up to a blank or '='; a lone '=' is a word.
void NextWord(Words* w, const char** word, size_t* length) {
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
bool WordIs(const char* word, size_t length, const char* literal) {
  if (strlen(literal) != length) return false;
  for (size_t i = 0; i < length; i++) {
    if (Upper(word[i]) != literal[i]) return false;
  }
  return true;
}

// Reads "KEY = VALUE" (blanks around '=' optional); false at the end of the line.
bool NextOption(Words* w, const char** key, size_t* keyLength, const char** value,
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
void CopyValue(char* out, size_t room, const char* value, size_t length) {
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

void JobStart(EmulatedPrinter* p, Words* w) {
  char name[JOB_NAME_ROOM] = "";
  const char *key, *value;
  size_t keyLength, valueLength;
  while (NextOption(w, &key, &keyLength, &value, &valueLength)) {
    if (WordIs(key, keyLength, "NAME")) CopyValue(name, sizeof(name), value, valueLength);
  }
  p->counters.jobsStarted++;
  if (p->jobDepth++ != 0) return;  // a nested job belongs to the outer one
  memcpy(p->jobName, name, sizeof(name));
  p->jobFirstPage = p->counters.pagesReceived;
  Log(p, EV_JOB_START, p->counters.jobsStarted, "%s", name);
  if (JobReportsOn(p)) Reply(p, "@PJL USTATUS JOB\r\nSTART\r\nNAME=\"%s\"\r\n\f", name);
}

void JobEnd(EmulatedPrinter* p) {
  if (p->jobDepth == 0 || --p->jobDepth != 0) return;
  if (p->endCount == PENDING_END_ROOM) {
    // Bounded: the oldest job is reported before its last page is out.
    ReportJobEnd(p, &p->ends[0]);
    memmove(p->ends, p->ends + 1, (PENDING_END_ROOM - 1) * sizeof(p->ends[0]));
    p->endCount--;
  }
  PendingJobEnd* end = &p->ends[p->endCount++];
  memcpy(end->name, p->jobName, sizeof(end->name));
  end->firstPage = p->jobFirstPage;
  end->lastPage = p->counters.pagesReceived;
  CheckJobEnds(p);
}

void ReplyInfo(EmulatedPrinter* p, const char* category, size_t length) {
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

void ReplyInquire(EmulatedPrinter* p, const char* command, const char* variable, size_t length) {
  char shown[32];
  CopyValue(shown, sizeof(shown), variable, length);
  for (size_t i = 0; shown[i] != '\0'; i++) shown[i] = Upper(shown[i]);
  bool tray = length == 11 && memcmp(shown, "INTRAY", 6) == 0 && shown[6] >= '1' &&
              shown[6] <= '4' && memcmp(shown + 7, "SIZE", 4) == 0;
  Reply(p, "@PJL %s %s\r\n%s%s%s\r\n\f", command, shown, tray ? "" : "\"",
        tray ? p->model->paperName : "?", tray ? "" : "\"");
}

void UstatusSetting(EmulatedPrinter* p, Words* w) {
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

// ---------------------------------------------------------------------------------------------
// Input scanner

void FeedByte(EmulatedPrinter* p, uint8_t b);

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

void FeedByte(EmulatedPrinter* p, uint8_t b) {
  if (p->mode == MODE_PJL) {
    FeedPjl(p, b);
  } else {
    FeedData(p, b, MODE_DATA);
  }
}

void ResetChannel(EmulatedPrinter* p) {
  EnterPjl(p);
  p->escapeLength = 0;
  p->ustatusDevice = false;
  p->jobReports = REPORTS_DEFAULT;
  p->queueHead = 0;
  p->queueLength = 0;
  p->jobDepth = 0;
  // Jobs of the old channel finish printing, but nobody is left to hear of their end.
  for (uint32_t i = 0; i < p->endCount; i++) p->counters.jobsEnded++;
  p->endCount = 0;
}

// Port device adapter.
EmulatedPrinter* FromPort(PortDevice* device) {
  return reinterpret_cast<EmulatedPrinter*>(device);
}
void PortJobStart(PortDevice* d, uint32_t jobId) {
  EmulatedPrinterJobStart(FromPort(d), jobId);
}
void PortJobEnd(PortDevice* d) {
  EmulatedPrinterJobEnd(FromPort(d));
}
size_t PortWrite(PortDevice* d, const uint8_t* data, size_t count) {
  return EmulatedPrinterWrite(FromPort(d), data, count);
}
size_t PortRead(PortDevice* d, uint8_t* buffer, size_t room) {
  return EmulatedPrinterRead(FromPort(d), buffer, room);
}
const char* PortDeviceId(PortDevice* d) {
  return EmulatedPrinterDeviceId(FromPort(d));
}

const PortDeviceOps PrinterPortOps = {
    PortJobStart,  // jobStart
    PortJobEnd,    // jobEnd
    PortWrite,     // write
    PortRead,      // read
    PortDeviceId,  // deviceId
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Public operations

EmulatedPrinter* EmulatedPrinterCreate(const PrinterConfig* config) {
  EmulatedPrinter* p = new (std::nothrow) EmulatedPrinter;
  if (p == nullptr) return nullptr;
  memset(p, 0, sizeof(*p));
  p->port.ops = &PrinterPortOps;
  p->config = *config;
  p->model = config->model != nullptr ? config->model : &PrinterModels[0];
  if (p->config.pageBufferPages == 0) p->config.pageBufferPages = DEFAULT_PAGE_BUFFER;
  const char* id = config->deviceId != nullptr ? config->deviceId : p->model->deviceId;
  size_t idLength = strlen(id);
  if (idLength >= sizeof(p->deviceId)) idLength = sizeof(p->deviceId) - 1;
  memcpy(p->deviceId, id, idLength);
  p->config.deviceId = p->deviceId;
  if (config->scenario != nullptr) p->scenario = *config->scenario;
  if (p->scenario.count > MAX_SCENARIO_STEPS) p->scenario.count = MAX_SCENARIO_STEPS;
  p->config.scenario = &p->scenario;
  p->powerOnMs = ClockNow(p);
  p->now = p->powerOnMs;
  p->reportedCode = STATUS_READY;
  p->reportedOnline = true;
  Log(p, EV_POWER_ON, 0, "%s", p->deviceId);
  Tick(p);
  return p;
}

void EmulatedPrinterDestroy(EmulatedPrinter* printer) {
  delete printer;
}

void EmulatedPrinterConnect(EmulatedPrinter* p) {
  Tick(p);
  ResetChannel(p);
  Log(p, EV_CONNECT, 0, "");
}

void EmulatedPrinterJobStart(EmulatedPrinter* p, uint32_t jobId) {
  Tick(p);
  p->portJobId = jobId;
  Log(p, EV_PORT_JOB_START, jobId, "");
}

void EmulatedPrinterJobEnd(EmulatedPrinter* p) {
  Tick(p);
  Log(p, EV_PORT_JOB_END, p->portJobId, "");
  // Printers report a job's end on its EOJ only; a job the data left open stays open unless
  // the configuration asks to end it here.
  if (p->jobDepth != 0 && p->config.reportUnendedJobs) {
    p->jobDepth = 1;
    JobEnd(p);
  }
}

size_t EmulatedPrinterWrite(EmulatedPrinter* p, const void* data, size_t count) {
  Tick(p);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  size_t taken = 0;
  while (taken < count) {
    if (BufferFull(p)) {
      if (!p->inputHeld) {
        p->inputHeld = true;
        Log(p, EV_INPUT_HELD, p->counters.pagesReceived - p->counters.pagesPrinted,
            "page buffer full");
      }
      break;
    }
    p->inputHeld = false;
    if (p->mode == MODE_DATA && p->escapeLength == 0) {
      // Page data: only ESC (and FF, when pages are counted) matter.
      size_t i = taken;
      if (p->discard) {
        const void* esc = memchr(bytes + i, ESC, count - i);
        i = esc != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(esc) - bytes) : count;
      } else {
        while (i < count && bytes[i] != ESC && bytes[i] != FF) i++;
      }
      taken = i;
      if (taken == count) break;
    }
    p->pageArrived = false;
    FeedByte(p, bytes[taken++]);
    if (p->pageArrived) RunUntil(p, p->now);  // a page that can print at once does
  }
  p->counters.bytesIn += taken;
  return taken;
}

size_t EmulatedPrinterRead(EmulatedPrinter* p, void* buffer, size_t room) {
  Tick(p);
  size_t n = room < p->queueLength ? room : p->queueLength;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < n; i++) out[i] = p->queue[(p->queueHead + i) % QUEUE_ROOM];
  p->queueHead = static_cast<uint32_t>((p->queueHead + n) % QUEUE_ROOM);
  p->queueLength -= static_cast<uint32_t>(n);
  return n;
}

void EmulatedPrinterPoll(EmulatedPrinter* p) {
  Tick(p);
}

size_t EmulatedPrinterPending(const EmulatedPrinter* p) {
  return p->queueLength;
}

const char* EmulatedPrinterDeviceId(const EmulatedPrinter* p) {
  return p->deviceId;
}

const PrinterModel* EmulatedPrinterModel(const EmulatedPrinter* p) {
  return p->model;
}

void EmulatedPrinterRaise(EmulatedPrinter* p, PrinterCondition condition, uint32_t code,
                          uint32_t tray, uint32_t size) {
  if (condition >= COND_COUNT) return;
  Tick(p);
  if (tray < 1 || tray > 9) tray = 1;
  RaiseCondition(p, condition, ConditionCode(condition, Plain(p), tray, size, code), REMEDY_COMMAND,
                 0);
}

uint32_t EmulatedPrinterRemedy(EmulatedPrinter* p, PrinterCondition condition) {
  Tick(p);
  uint32_t cleared = 0;
  for (uint32_t c = 0; c < COND_COUNT; c++) {
    const ActiveCondition* a = &p->conditions[c];
    bool chosen = condition == COND_COUNT ? a->remedy == REMEDY_COMMAND : c == condition;
    if (a->active && chosen) {
      DropCondition(p, c);
      cleared++;
    }
  }
  UpdateStatus(p);
  Tick(p);  // held pages print now
  return cleared;
}

void EmulatedPrinterSetDiscard(EmulatedPrinter* p, bool discard) {
  p->discard = discard;
}

void EmulatedPrinterCounters(const EmulatedPrinter* p, PrinterCounters* out) {
  *out = p->counters;
  out->statusCode = p->reportedCode;
  out->online = p->reportedOnline;
  out->ustatusDevice = p->ustatusDevice;
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

PortDevice* EmulatedPrinterDevice(EmulatedPrinter* p) {
  return &p->port;
}
