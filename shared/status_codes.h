// The printer status codes that the language monitor, the display program and the emulated
// printer speak of. A code has five digits and its first two give the kind: 10xxx information,
// 11xyy paper low in a tray, 30xxx conditions the printer continues from by itself, 40xxx
// conditions that need the operator, 41xyy load paper, 50xxx service. The maker's printers
// report codes of the same form in their plain replies.
#pragma once

#include <stdint.h>

enum : uint32_t {
  // Ready: online, nothing to report.
  STATUS_CODE_READY = 10001,
  // Warming up; printing waits.
  STATUS_CODE_WARMING_UP = 10003,
  // Toner low, as PJL printers report it.
  STATUS_CODE_TONER_LOW = 10006,

  // A tray's paper codes read base + tray * TRAY_CODE_STEP + paper size: 11xyy and 41xyy, x the
  // tray (1 to 9), yy the paper size.
  TRAY_CODE_STEP = 100,
  // A tray low on paper or empty while another still feeds; printing goes on. The base of the
  // 11xyy codes.
  STATUS_CODE_TRAY_EMPTY = 11000,
  // The 11xyy codes of trays 1 to 9.
  STATUS_CODE_TRAY_EMPTY_FIRST = STATUS_CODE_TRAY_EMPTY + TRAY_CODE_STEP,
  STATUS_CODE_TRAY_EMPTY_LAST = 11999,

  // 30xxx and up: conditions, continued by the printer (30xxx), the operator (40xxx) or service
  // (50xxx), as against information and paper low.
  STATUS_CODE_CONDITION_FIRST = 30000,
  // Memory overflow: the page did not fit; the printer goes on by itself.
  STATUS_CODE_MEMORY_OVERFLOW = 30016,
  // Meaning unknown: the one 30xxx code the monitor counts as an error.
  STATUS_CODE_COUNTED_ERROR = 30036,
  // Asleep (power save); the 40xxx codes above it need the operator.
  STATUS_CODE_SLEEP = 40000,
  // Output bin full: remove the paper.
  STATUS_CODE_OUTPUT_FULL = 40019,
  // A cover is open.
  STATUS_CODE_DOOR_OPEN = 40021,
  // Paper jams: at the feed (the first), inside the printer, at the exit (the last).
  STATUS_CODE_PAPER_JAM = 40022,
  STATUS_CODE_PAPER_JAM_LAST = 40024,
  // Taken offline at the panel.
  STATUS_CODE_OFFLINE = 40079,
  // Toner low, as the maker's printers report it.
  STATUS_CODE_FAMILY_TONER_LOW = 40556,
  // The drum (process unit) near the end of its life.
  STATUS_CODE_DRUM_NEAR_END = 40558,
  // The drum at the end of its life: replace it.
  STATUS_CODE_DRUM_END = 40559,
  // Load paper; printing stops. The base of the 41xyy codes, which the display program shows
  // all as this one.
  STATUS_CODE_LOAD_PAPER = 41000,
  STATUS_CODE_LOAD_PAPER_LAST = 41999,
  // 50xxx and up: hardware fault, service call.
  STATUS_CODE_SERVICE = 50000,
};

// The drum codes: the drum near or at the end of its life.
constexpr bool IsDrumCode(uint32_t code) {
  return code == STATUS_CODE_DRUM_NEAR_END || code == STATUS_CODE_DRUM_END;
}

// The toner and drum codes, which ask for a supply to be replaced: the monitor's look-ahead never
// passes them over and their back-to-back repeats are posted once; the display program holds
// them while other codes come and go.
constexpr bool IsTonerDrumCode(uint32_t code) {
  return code == STATUS_CODE_FAMILY_TONER_LOW || IsDrumCode(code);
}
