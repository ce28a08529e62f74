// Names of the token ids and parse results, for diagnostics output and test messages. One table
// each, here only, so the tools and the tests print the same names.
#pragma once

#include <stdint.h>

#include "status_token.h"

struct TokenNameRow {
  uint32_t id;
  const char* name;
};

inline constexpr TokenNameRow kTokenIdNames[] = {
    {TOK_TRAY1_SIZE, "TOK_TRAY1_SIZE"},
    {TOK_TRAY2_SIZE, "TOK_TRAY2_SIZE"},
    {TOK_TRAY3_SIZE, "TOK_TRAY3_SIZE"},
    {TOK_TRAY4_SIZE, "TOK_TRAY4_SIZE"},
    {TOK_ECHO_SYNC, "TOK_ECHO_SYNC"},
    {TOK_MEM_TOTAL, "TOK_MEM_TOTAL"},
    {TOK_MEM_LARGEST, "TOK_MEM_LARGEST"},
    {TOK_MEM_INSTALLED, "TOK_MEM_INSTALLED"},
    {TOK_INFO_CODE, "TOK_INFO_CODE"},
    {TOK_INFO_ONLINE, "TOK_INFO_ONLINE"},
    {TOK_CONFIG_MEMORY, "TOK_CONFIG_MEMORY"},
    {TOK_CONFIG_MEMORY_SPACED, "TOK_CONFIG_MEMORY_SPACED"},
    {TOK_JOB_END, "TOK_JOB_END"},
    {TOK_JOB_ID, "TOK_JOB_ID"},
    {TOK_OWN_JOB_ID, "TOK_OWN_JOB_ID"},
    {TOK_OWN_JOB_RUN, "TOK_OWN_JOB_RUN"},
    {TOK_DEVICE_CODE, "TOK_DEVICE_CODE"},
    {TOK_DEVICE_DISPLAY, "TOK_DEVICE_DISPLAY"},
    {TOK_DEVICE_ONLINE, "TOK_DEVICE_ONLINE"},
    {TOK_SPOOLER_STATUS, "TOK_SPOOLER_STATUS"},
};

// Indexed by the PARSE_ value.
inline constexpr const char* kParseResultNames[] = {
    "PARSE_DONE",      // 0
    "PARSE_MORE",      // 1
    "PARSE_BAD",       // 2
    "PARSE_NO_PJL",    // 3
    "PARSE_FULL",      // 4
    "PARSE_FORMFEED",  // 5, internal
    "PARSE_RUNNING",   // 6, internal
};
static_assert(sizeof(kParseResultNames) / sizeof(kParseResultNames[0]) == PARSE_RUNNING + 1,
              "one name per parse result");

// The TOK_ name of id, or NULL for an id that no parser produces.
inline const char* TokenIdName(uint32_t id) {
  for (const TokenNameRow& row : kTokenIdNames) {
    if (row.id == id) return row.name;
  }
  return nullptr;
}

// The PARSE_ name of result, or NULL for a number outside the results.
inline const char* ParseResultName(uint32_t result) {
  return result <= PARSE_RUNNING ? kParseResultNames[result] : nullptr;
}
