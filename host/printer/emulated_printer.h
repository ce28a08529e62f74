// An emulated page printer at the far end of a port: it takes the job byte stream (universal
// exit language, PJL lines, page data), answers PJL requests, reports status and job progress,
// counts pages and its drum, obeys the drum counter reset commands, and plays a scenario of
// faults and remedies. Pure code: no threads, no operating system; time comes from the clock
// the caller gives. Not thread-safe: one caller at a time.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "../portmon/port_device.h"
#include "printer_conditions.h"
#include "scenario.h"

struct EmulatedPrinter;

// How the printer words its replies.
enum PrinterDialect : uint8_t {
  DIALECT_PJL = 0,    // PJL replies: "@PJL USTATUS DEVICE\r\nCODE=...\r\n...\f"
  DIALECT_PLAIN = 1,  // the maker's plain replies: one "CODE=nnnnn" (or memory) item, then "\f"
};

// Which drum counter reset command the printer's engine obeys.
enum DrumCommand : uint8_t {
  DRUM_CMD_NONE = 0,   // not a drum printer: both commands are ignored
  DRUM_CMD_SHORT = 1,  // ESC ESC NUL "RE_PU;"
  DRUM_CMD_LONG = 2,   // ESC ESC NUL "ENG_CMD,0x54;"
};

struct PrinterModel {
  const char* name;         // --model name, e.g. "QV-L3820"
  const char* deviceId;     // IEEE 1284 device ID
  PrinterDialect dialect;   //
  DrumCommand drumCommand;  //
  bool spacedItems;         // plain items written "NAME = value" rather than "NAME=value"
  const char* configItem;   // plain INFO CONFIG item name: "INSTALLED" or "MEMORY"
  const char* paperName;    // what INQUIRE INTRAYnSIZE answers
  uint32_t memInstalled;    // INFO CONFIG, as the printer reports it
  uint32_t memTotal;        // INFO MEMORY TOTAL (free memory)
  uint32_t memLargest;      // INFO MEMORY LARGEST
};

// Built-in models; the list ends with a row whose name is NULL. Row 0 is the generic printer.
extern const PrinterModel PrinterModels[];
// The model named name (case-sensitive), or NULL.
const PrinterModel* FindPrinterModel(const char* name);

enum PrinterEventKind : uint8_t {
  // ORDER: EventKindNames
  EV_POWER_ON = 0,    // printer created
  EV_CONNECT,         // new host channel (EmulatedPrinterConnect)
  EV_PORT_JOB_START,  // port's job start, value = the spooler's job id
  EV_PORT_JOB_END,    // port's job end
  EV_PJL,             // a PJL command was obeyed, detail = the line
  EV_PJL_IGNORED,     // a PJL line was not understood or was cut, detail = its start
  EV_JOB_START,       // PJL JOB, detail = job name
  EV_JOB_END,         // job printed and ended, value = pages, detail = job name
  EV_PAGE,            // a page came out, value = page counter
  EV_CONDITION,       // a condition came up, value = code, detail = condition name
  EV_REMEDY,          // a condition was put right, detail = condition name
  EV_STATUS,          // reported status changed, value = code, detail = panel text
  EV_REPLY,           // a reply was queued, value = its length, detail = its start
  EV_REPLY_DROPPED,   // a reply did not fit the outgoing queue, value = its length
  EV_DRUM_RESET,      // drum counter reset obeyed, value = drum count before the reset
  EV_ENGINE_IGNORED,  // an engine command this printer does not obey, detail = its body
  EV_INPUT_HELD,      // page buffer full: the printer takes no more data for now
  EV_KIND_COUNT
};

enum { EVENT_DETAIL_ROOM = 72, EVENT_LOG_ENTRIES = 256 };

struct PrinterEvent {
  uint32_t timeMs;                 // milliseconds since power-on
  uint8_t kind;                    // PrinterEventKind
  uint32_t value;                  // by kind
  char detail[EVENT_DETAIL_ROOM];  // printable text, NUL-terminated
};

struct PrinterConfig {
  const PrinterModel* model;  // NULL: the generic PJL printer
  const char* deviceId;       // NULL: the model's; copied, at most 1023 bytes kept
  const Scenario* scenario;   // NULL: nothing goes wrong; copied
  uint32_t pageMs;            // time to print one page; 0: at once
  uint32_t pageBufferPages;   // pages held unprinted before the printer stops taking data; 0: 16
  uint32_t drumLifePages;     // drum-end after this many drum pages; 0: the drum never ends
  uint32_t drumWarnPages;     // drum-near-end this many pages before the end
  bool lenientJobReports;     // job reports without "USTATUS JOB=ON" (false: strict PJL); README
  bool reportNestedJobs;      // a nested JOB/EOJ pair's end is reported too, under its own name
  bool reportUnendedJobs;     // port job end ends an open PJL job with a report, as EOJ would
  // Current time in milliseconds (any origin, must not go back). NULL: a steady system clock.
  uint64_t (*clock)(void* context);
  void* clockContext;
  // Called for each event as it is logged (in addition to the log). May be NULL.
  void (*onEvent)(void* context, const PrinterEvent* event);
  void* eventContext;
};

struct PrinterCounters {
  uint64_t bytesIn;         // bytes taken from the host
  uint32_t pagesReceived;   // form feeds in page data
  uint32_t pagesPrinted;    // page counter
  uint32_t drumPages;       // pages since the last drum counter reset
  uint32_t drumResets;      // drum counter resets obeyed
  uint32_t enginesIgnored;  // engine commands not obeyed
  uint32_t jobsStarted;     // PJL JOB commands
  uint32_t jobsEnded;       // job ends reported (or due, when reports are off)
  uint32_t repliesSent;     // replies queued
  uint32_t repliesDropped;  // replies that did not fit the queue
  uint32_t statusCode;      // the status code the printer reports now
  bool online;              // and whether it reports itself online
  bool ustatusDevice;       // unsolicited device status is on
};

// Fills config with defaults for model (NULL: generic).
void PrinterConfigDefaults(PrinterConfig* config, const PrinterModel* model);

// Powers on a printer (one allocation of a fixed size); NULL when out of memory.
EmulatedPrinter* EmulatedPrinterCreate(const PrinterConfig* config);
void EmulatedPrinterDestroy(EmulatedPrinter* printer);

// A new host channel (a new connection): PJL settings of the old one (USTATUS), the input
// state and unread replies are forgotten; the engine (pages, conditions, drum) goes on.
void EmulatedPrinterConnect(EmulatedPrinter* printer);

// The port's job start and end (the port monitor's StartDocPort and EndDocPort).
void EmulatedPrinterJobStart(EmulatedPrinter* printer, uint32_t jobId);
void EmulatedPrinterJobEnd(EmulatedPrinter* printer);

// Bytes from the host. Returns how many the printer took: all of them, unless its page buffer
// is full because printing has stopped (then fewer, possibly 0; write the rest later).
size_t EmulatedPrinterWrite(EmulatedPrinter* printer, const void* data, size_t count);

// Reply bytes for the host: copies at most room bytes, returns the count (0: nothing waits).
size_t EmulatedPrinterRead(EmulatedPrinter* printer, void* buffer, size_t room);

// Lets the clock's time take effect (pages print, scenario steps and timed remedies happen).
// Write and Read do this too.
void EmulatedPrinterPoll(EmulatedPrinter* printer);

// Reply bytes waiting to be read.
size_t EmulatedPrinterPending(const EmulatedPrinter* printer);

const char* EmulatedPrinterDeviceId(const EmulatedPrinter* printer);
const PrinterModel* EmulatedPrinterModel(const EmulatedPrinter* printer);

// Brings up a condition now, as a scenario step would (code 0: the condition's own; tray 1 to
// 9 and size for per-tray conditions); it lasts until EmulatedPrinterRemedy.
void EmulatedPrinterRaise(EmulatedPrinter* printer, PrinterCondition condition, uint32_t code,
                          uint32_t tray, uint32_t size);

// The user puts a condition right; COND_COUNT: every condition that waits for the user
// (timed remedies keep their time). Returns how many conditions were cleared.
uint32_t EmulatedPrinterRemedy(EmulatedPrinter* printer, PrinterCondition condition);

// Discard mode: page data is only scanned for the escapes that end it (no page counting, no
// drum wear). For benchmarks of the host side.
void EmulatedPrinterSetDiscard(EmulatedPrinter* printer, bool discard);

void EmulatedPrinterCounters(const EmulatedPrinter* printer, PrinterCounters* out);

// Event log: the latest EVENT_LOG_ENTRIES events, index 0 the oldest kept.
uint32_t EmulatedPrinterEventCount(const EmulatedPrinter* printer);
const PrinterEvent* EmulatedPrinterEventAt(const EmulatedPrinter* printer, uint32_t index);
// Events that fell out of the log.
uint32_t EmulatedPrinterEventsLost(const EmulatedPrinter* printer);
const char* PrinterEventKindName(uint32_t kind);
// One line "  1500 ms  condition  41102 paper-out" (no line end); returns its length.
size_t FormatPrinterEvent(const PrinterEvent* event, char* out, size_t room);

// The printer's IPP face: its answer to an IPP request (the HTTP body), Get-Printer-Attributes
// answered from its state, any other operation refused. Returns the answer's length, 0 when
// room is too small (4 KiB is enough).
size_t EmulatedPrinterIppAnswer(EmulatedPrinter* printer, const uint8_t* request,
                                size_t requestLength, uint8_t* out, size_t room);

// The printer as a port device (host/portmon/port_device.h), for the scripted port monitor.
PortDevice* EmulatedPrinterDevice(EmulatedPrinter* printer);
