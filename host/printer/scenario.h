// Scenarios for the emulated printer: what goes wrong when, and how it is put right.
// The text format is described in README.md beside this file.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "printer_conditions.h"

enum ScenarioTrigger : uint8_t {
  TRIGGER_AT = 0,          // when: milliseconds after power-on
  TRIGGER_AFTER_PAGE = 1,  // when: the printer's page counter reaches this number
  TRIGGER_AFTER_JOB = 2,   // when: this many PJL jobs have ended
};

enum RemedyKind : uint8_t {
  REMEDY_COMMAND = 0,  // the user acts when told to (EmulatedPrinterRemedy)
  REMEDY_AFTER = 1,    // the user acts remedyMs after the condition came up
};

struct ScenarioStep {
  uint8_t trigger;    // ScenarioTrigger
  uint8_t condition;  // PrinterCondition
  uint8_t remedy;     // RemedyKind
  uint8_t tray;       // 1 to 9, for per-tray conditions
  uint32_t size;      // paper size code 0 to 99, for per-tray conditions
  uint32_t when;      // milliseconds, page or job count, by trigger
  uint32_t code;      // status code to report instead of the condition's own; 0: none
  uint32_t remedyMs;  // for REMEDY_AFTER
  uint32_t line;      // line of the scenario text, for messages
};

enum { MAX_SCENARIO_STEPS = 64, MAX_SCENARIO_FILE = 16384, SCENARIO_ERROR_ROOM = 160 };

struct Scenario {
  uint32_t count;
  ScenarioStep steps[MAX_SCENARIO_STEPS];
};

// Reads a scenario text of length bytes (not necessarily NUL-terminated) into out. On failure
// returns false with a message naming the line in error (at most errorRoom bytes with the NUL);
// out then holds the steps read before the bad line.
bool ParseScenario(const char* text, size_t length, Scenario* out, char* error, size_t errorRoom);

// Reads a scenario file of at most MAX_SCENARIO_FILE bytes.
bool LoadScenarioFile(const char* path, Scenario* out, char* error, size_t errorRoom);
