// The print engine: conditions and the reported status, pages and the drum, job ends, the
// scenario, and time.
#include <string.h>

#include <chrono>

#include "emulated_printer_internal.h"

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

static bool Halted(const EmulatedPrinter* p) {
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

static void ClearCondition(EmulatedPrinter* p, uint32_t condition) {
  DropCondition(p, condition);
  UpdateStatus(p);
}

void ReportJobEnd(EmulatedPrinter* p, const PendingJobEnd* end) {
  uint32_t pages = end->lastPage - end->firstPage;
  if (!end->nested) p->counters.jobsEnded++;  // "after-job" counts the outermost jobs
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

static void PagePrinted(EmulatedPrinter* p) {
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

static void FireStep(EmulatedPrinter* p, uint32_t index) {
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

static uint64_t SteadyMs() {
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
