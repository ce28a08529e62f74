// What a network printer's printer-state-reasons mean here: the one table from an IPP reason
// keyword (its -error, -warning or -report suffix taken off) to the spooler status of a printer
// outside the maker's family and to the status code the maker's printers would report.
#pragma once

#include <stdint.h>

#include "status_codes.h"

// The spooler status bits the table sets: the values of the spooler's PRINTER_STATUS_ flags
// (the monitor checks them against its headers), so that this file needs no Windows header.
enum : uint32_t {
  REASON_STATUS_PAPER_JAM = 0x00000008,
  REASON_STATUS_PAPER_OUT = 0x00000010,
  REASON_STATUS_OFFLINE = 0x00000080,
  REASON_STATUS_ERROR = 0x00000002,
  REASON_STATUS_DOOR_OPEN = 0x00400000,
};

enum : uint8_t {
  // The condition stops printing: it counts only at error level (no suffix, or -error). A
  // -warning or -report reason never stops printing.
  REASON_STOPS = 1,
  // The code names a tray and a paper size (11xyy, 41xyy): the base code is given.
  REASON_PER_TRAY = 2,
  // A state change on its way, or a request, not a condition: nothing to show.
  REASON_IGNORED = 4,
};

struct StateReasonRow {
  const char* keyword;
  uint32_t spoolerStatus;  // REASON_STATUS_ bits, 0 for none
  uint32_t familyCode;     // the maker's code, 0 for none
  uint8_t flags;
};

constexpr StateReasonRow StateReasonTable[] = {
    {"media-needed", REASON_STATUS_PAPER_OUT, STATUS_CODE_LOAD_PAPER,
     REASON_STOPS | REASON_PER_TRAY},
    {"media-empty", 0, STATUS_CODE_TRAY_EMPTY, REASON_PER_TRAY},
    {"media-jam", REASON_STATUS_PAPER_JAM, STATUS_CODE_PAPER_JAM, REASON_STOPS},
    {"door-open", REASON_STATUS_DOOR_OPEN, STATUS_CODE_DOOR_OPEN, REASON_STOPS},
    {"cover-open", REASON_STATUS_DOOR_OPEN, STATUS_CODE_DOOR_OPEN, REASON_STOPS},
    {"toner-low", 0, STATUS_CODE_FAMILY_TONER_LOW, 0},
    {"marker-supply-low", 0, STATUS_CODE_FAMILY_TONER_LOW, 0},
    {"opc-near-eol", 0, STATUS_CODE_DRUM_NEAR_END, 0},
    {"opc-life-over", 0, STATUS_CODE_DRUM_END, 0},
    {"output-area-full", 0, STATUS_CODE_OUTPUT_FULL, 0},
    {"offline", REASON_STATUS_OFFLINE, STATUS_CODE_OFFLINE, REASON_STOPS},
    {"paused", REASON_STATUS_OFFLINE, STATUS_CODE_OFFLINE, REASON_STOPS},
    {"stopping", REASON_STATUS_OFFLINE, STATUS_CODE_OFFLINE, REASON_STOPS},
    {"moving-to-paused", 0, 0, REASON_IGNORED},
    {"connecting-to-device", 0, 0, REASON_IGNORED},
    {"identify-printer-requested", 0, 0, REASON_IGNORED},
};

// Any other reason at error level is a service condition.
constexpr StateReasonRow ServiceReason = {"", REASON_STATUS_ERROR, STATUS_CODE_SERVICE,
                                          REASON_STOPS};
// A stopped printer (printer-state 5) that names no condition that stops it is offline.
constexpr StateReasonRow StoppedReason = {"", REASON_STATUS_OFFLINE, STATUS_CODE_OFFLINE,
                                          REASON_STOPS};
