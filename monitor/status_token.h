// One parsed item of a printer reply, and the results of the reply parsers.
#pragma once

#include <stdint.h>

struct StatusToken {
  uint32_t id;     // TOK_ value: high 16 bits the reply group, low 16 bits the item
  uint32_t value;  // meaning depends on id
};

enum : uint32_t {
  TOK_TRAY1_SIZE = 0x10000,
  TOK_TRAY2_SIZE = 0x10001,
  TOK_TRAY3_SIZE = 0x10002,
  TOK_TRAY4_SIZE = 0x10003,
  TOK_ECHO_SYNC = 0x20000,
  TOK_MEM_TOTAL = 0x30000,
  TOK_MEM_LARGEST = 0x30001,
  TOK_MEM_INSTALLED = 0x30002,
  TOK_INFO_CODE = 0x40000,
  TOK_INFO_ONLINE = 0x40001,
  TOK_CONFIG_MEMORY = 0x50000,
  TOK_CONFIG_MEMORY_SPACED = 0x50001,
  TOK_JOB_END = 0x60000,
  TOK_JOB_ID = 0x60001,
  // The end of a job of the monitor's naming, "QVLLINK <job id>.<run>": the two numbers.
  TOK_OWN_JOB_ID = 0x60002,
  TOK_OWN_JOB_RUN = 0x60003,
  TOK_DEVICE_CODE = 0x70000,
  TOK_DEVICE_DISPLAY = 0x70001,
  TOK_DEVICE_ONLINE = 0x70002,
  // Not of a reply: the spooler status a network printer's IPP answer gives a printer outside
  // the maker's family, whole (network_status.cpp).
  TOK_SPOOLER_STATUS = 0x80000,
};

// What one call of a reply parser found.
enum ParseResult : uint32_t {
  PARSE_DONE = 0,      // one reply read to its form feed; tokens valid
  PARSE_MORE = 1,      // the text ended inside a reply; call again with more bytes
  PARSE_BAD = 2,       // the reply broke the expected form
  PARSE_NO_PJL = 3,    // no "@PJL" before a form feed or the end of text
  PARSE_FULL = 4,      // a token did not fit the array
  PARSE_FORMFEED = 5,  // internal to the PJL parser
  PARSE_RUNNING = 6,   // internal to the PJL parser
};

// Capacity of the token array the status thread hands to the parsers.
enum { MAX_REPLY_TOKENS = 20 };
