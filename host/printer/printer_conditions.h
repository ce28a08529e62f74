// The conditions an emulated printer can be in (paper out, jam, ...), with the status codes and
// panel texts it reports for each. One table serves the printer, the scenario reader and the
// server's log.
#pragma once

#include <stdint.h>

#include "status_codes.h"

// ORDER: ConditionTable. Lower values win when several conditions are active: the printer
// reports the most urgent one.
enum PrinterCondition : uint8_t {
  COND_SERVICE = 0,    // hardware fault, service call (50000)
  COND_JAM,            // paper jam (40022)
  COND_DOOR_OPEN,      // cover open (40021)
  COND_PAPER_OUT,      // load paper in a tray (41xyy); printing stops
  COND_OFFLINE,        // taken offline at the panel (40079)
  COND_OUTPUT_FULL,    // output bin full (40019)
  COND_WARMING_UP,     // warming up (10003); printing waits
  COND_MEMORY_FULL,    // memory overflow, auto-continued (30016)
  COND_DRUM_END,       // drum at the end of its life (40559)
  COND_DRUM_NEAR_END,  // drum near the end of its life (40558)
  COND_TONER_LOW,      // toner low (10006; 40556 on the maker's printers)
  COND_TRAY_EMPTY,     // one tray empty, another still feeds (11xyy)
  COND_COUNT
};

struct ConditionInfo {
  const char* name;     // scenario keyword, also used in the event log
  uint32_t pjlCode;     // code a PJL printer reports (paper codes: base, tray and size added)
  uint32_t plainCode;   // code the maker's printers report
  bool blocks;          // printing stops while the condition lasts
  bool offline;         // reported with ONLINE=FALSE (the printer needs the operator)
  bool perTray;         // code is base + tray * 100 + paper size
  const char* display;  // panel text
};

extern const ConditionInfo ConditionTable[COND_COUNT];

// The condition whose scenario keyword is name (exact), or COND_COUNT.
PrinterCondition FindCondition(const char* name, uint32_t length);

// The status code reported for a condition: override when not 0, otherwise the table's code for
// the dialect, with tray (1 to 9) and paper size (0 to 99) folded in for per-tray conditions.
uint32_t ConditionCode(PrinterCondition condition, bool plain, uint32_t tray, uint32_t size,
                       uint32_t override);

// Panel text of a printer with no condition (it reports STATUS_CODE_READY).
extern const char* const READY_DISPLAY;
