// Inside the emulated printer: its state and the functions its parts call in one another. Only
// the printer's own files include this; the rest of the tree uses emulated_printer.h.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "emulated_printer.h"

enum : uint8_t { ESC = 0x1B, FF = 0x0C };

enum {
  DEVICE_ID_ROOM = 4096,    // longer than a monitor reads (1024 bytes; a USB port: 4094)
  LINE_ROOM = 256,          // longest PJL line kept; longer ones are ignored whole
  ESCAPE_ROOM = 32,         // longest escape sequence recognised (engine commands)
  QUEUE_ROOM = 4096,        // reply bytes waiting for the host
  REPLY_ROOM = 512,         // longest single reply
  JOB_NAME_ROOM = 64,       // job names are cut to this (with the NUL)
  PENDING_END_ROOM = 8,     // ended jobs whose pages are still being printed
  NESTED_JOB_ROOM = 4,      // nested jobs whose ends are reported (reportNestedJobs)
  DEFAULT_PAGE_BUFFER = 16  //
};

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
  bool nested;         // a job inside another (reportNestedJobs): not counted in jobsEnded
};

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
  char nestedName[NESTED_JOB_ROOM][JOB_NAME_ROOM];  // at depths 2 to 5 (reportNestedJobs)
  uint32_t nestedFirstPage[NESTED_JOB_ROOM];
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

// Event log (printer_events.cpp).
void LogText(EmulatedPrinter* p, PrinterEventKind kind, uint32_t value, const char* text,
             size_t length);
void Log(EmulatedPrinter* p, PrinterEventKind kind, uint32_t value, const char* format, ...);

// Replies (printer_replies.cpp).
void Reply(EmulatedPrinter* p, const char* format, ...);
bool Plain(const EmulatedPrinter* p);
const char* Equals(const EmulatedPrinter* p);  // between a plain item's name and its value
void CurrentStatus(const EmulatedPrinter* p, uint32_t* code, bool* online, const char** display);
void ReplyStatus(EmulatedPrinter* p, const char* header);
bool JobReportsOn(const EmulatedPrinter* p);

// Print engine (printer_engine.cpp).
void UpdateStatus(EmulatedPrinter* p);
void RaiseCondition(EmulatedPrinter* p, PrinterCondition condition, uint32_t code, uint8_t remedy,
                    uint32_t remedyMs);
void DropCondition(EmulatedPrinter* p, uint32_t condition);
void ReportJobEnd(EmulatedPrinter* p, const PendingJobEnd* end);
void CheckJobEnds(EmulatedPrinter* p);
void RunUntil(EmulatedPrinter* p, uint64_t target);
uint64_t ClockNow(const EmulatedPrinter* p);
void Tick(EmulatedPrinter* p);  // runs the printer up to the clock's time
bool BufferFull(const EmulatedPrinter* p);
void DrumReset(EmulatedPrinter* p);

// PJL commands (printer_pjl.cpp).
bool IsBlank(char c);
void JobEnd(EmulatedPrinter* p);  // EOJ
void EnterPjl(EmulatedPrinter* p);
void ObeyPjlLine(EmulatedPrinter* p, const char* line, size_t length);

// Input scanner (printer_input.cpp): one byte from the host.
void FeedByte(EmulatedPrinter* p, uint8_t b);
