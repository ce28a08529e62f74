// Condition table of the emulated printer.
#include "printer_conditions.h"

#include <string.h>

// ORDER: PrinterCondition
const ConditionInfo ConditionTable[COND_COUNT] = {
    // name            pjl    plain  blocks offline perTray display
    {"service", 50000, 50000, true, true, false, "50 SERVICE"},
    {"jam", 40022, 40022, true, true, false, "13 PAPER JAM"},
    {"door-open", 40021, 40021, true, true, false, "12 DOOR OPEN"},
    {"paper-out", 41000, 41000, true, true, true, "LOAD PAPER"},
    {"offline", 40079, 40079, true, true, false, "OFFLINE"},
    {"output-full", 40019, 40019, true, true, false, "REMOVE PAPER"},
    {"warming-up", 10003, 10003, true, false, false, "02 WARMING UP"},
    {"memory-full", 30016, 30016, false, false, false, "20 MEM OVERFLOW"},
    {"drum-end", 40559, 40559, false, false, false, "REPLACE DRUM"},
    {"drum-near-end", 40558, 40558, false, false, false, "DRUM NEAR END"},
    {"toner-low", 10006, 40556, false, false, false, "16 TONER LOW"},
    {"tray-empty", 11000, 11000, false, false, true, "TRAY EMPTY"},
};
static_assert(sizeof(ConditionTable) / sizeof(ConditionTable[0]) == COND_COUNT,
              "one row per condition");

const char* const READY_DISPLAY = "00 READY";

PrinterCondition FindCondition(const char* name, uint32_t length) {
  for (uint32_t i = 0; i < COND_COUNT; i++) {
    const char* candidate = ConditionTable[i].name;
    if (strlen(candidate) == length && memcmp(candidate, name, length) == 0) {
      return static_cast<PrinterCondition>(i);
    }
  }
  return COND_COUNT;
}

uint32_t ConditionCode(PrinterCondition condition, bool plain, uint32_t tray, uint32_t size,
                       uint32_t override) {
  if (override != 0) return override;
  if (condition >= COND_COUNT) return STATUS_READY;
  const ConditionInfo& info = ConditionTable[condition];
  uint32_t code = plain ? info.plainCode : info.pjlCode;
  // Per-tray codes read 41xyy / 11xyy: x the tray, yy the paper size.
  if (info.perTray) code += (tray % 10) * 100 + size % 100;
  return code;
}
