// Condition table of the emulated printer.
#include "printer_conditions.h"

#include <string.h>

// ORDER: PrinterCondition
const ConditionInfo ConditionTable[COND_COUNT] = {
    // name            pjl    plain  blocks offline perTray display
    {"service", STATUS_CODE_SERVICE, STATUS_CODE_SERVICE, true, true, false, "50 SERVICE"},
    {"jam", STATUS_CODE_PAPER_JAM, STATUS_CODE_PAPER_JAM, true, true, false, "13 PAPER JAM"},
    {"door-open", STATUS_CODE_DOOR_OPEN, STATUS_CODE_DOOR_OPEN, true, true, false, "12 DOOR OPEN"},
    {"paper-out", STATUS_CODE_LOAD_PAPER, STATUS_CODE_LOAD_PAPER, true, true, true, "LOAD PAPER"},
    {"offline", STATUS_CODE_OFFLINE, STATUS_CODE_OFFLINE, true, true, false, "OFFLINE"},
    {"output-full", STATUS_CODE_OUTPUT_FULL, STATUS_CODE_OUTPUT_FULL, true, true, false,
     "REMOVE PAPER"},
    {"warming-up", STATUS_CODE_WARMING_UP, STATUS_CODE_WARMING_UP, true, false, false,
     "02 WARMING UP"},
    {"memory-full", STATUS_CODE_MEMORY_OVERFLOW, STATUS_CODE_MEMORY_OVERFLOW, false, false, false,
     "20 MEM OVERFLOW"},
    {"drum-end", STATUS_CODE_DRUM_END, STATUS_CODE_DRUM_END, false, false, false, "REPLACE DRUM"},
    {"drum-near-end", STATUS_CODE_DRUM_NEAR_END, STATUS_CODE_DRUM_NEAR_END, false, false, false,
     "DRUM NEAR END"},
    {"toner-low", STATUS_CODE_TONER_LOW, STATUS_CODE_FAMILY_TONER_LOW, false, false, false,
     "16 TONER LOW"},
    {"tray-empty", STATUS_CODE_TRAY_EMPTY, STATUS_CODE_TRAY_EMPTY, false, false, true,
     "TRAY EMPTY"},
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
  if (condition >= COND_COUNT) return STATUS_CODE_READY;
  const ConditionInfo& info = ConditionTable[condition];
  uint32_t code = plain ? info.plainCode : info.pjlCode;
  // Per-tray codes read 41xyy / 11xyy: x the tray, yy the paper size.
  if (info.perTray) code += (tray % 10) * TRAY_CODE_STEP + size % 100;
  return code;
}
