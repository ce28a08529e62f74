// The paper sizes of the tray codes (11xyy, 41xyy: yy), with the PWG self-describing media name
// (PWG 5101.1) that network printers use for each: the numbers the maker's printers use, and
// that the status message files' <SIZE> lines name. The monitor turns a network printer's media
// names into codes with it; the emulated printer words its paper with it.
#pragma once

#include <stdint.h>
#include <string.h>

struct MediaSizeRow {
  uint32_t code;        // yy
  const char* pwgName;  // class_size-name_dimensions
};

constexpr MediaSizeRow MediaSizeTable[] = {
    {1, "na_letter_8.5x11in"},       {2, "na_legal_8.5x14in"}, {3, "na_executive_7.25x10.5in"},
    {4, "iso_a4_210x297mm"},         {5, "iso_a5_148x210mm"},  {6, "jis_b5_182x257mm"},
    {7, "na_number-10_4.125x9.5in"}, {8, "iso_dl_110x220mm"},  {9, "iso_c5_162x229mm"},
    {10, "na_monarch_3.875x7.5in"},  {11, "iso_b5_176x250mm"}, {12, "iso_a6_105x148mm"},
};

// The yy code of a PWG media name, matched on its class and size name ("iso_a4" of
// "iso_a4_210x297mm"), so that a printer's own dimensions spelling still matches; 0 unknown.
inline uint32_t MediaSizeCode(const char* pwgName) {
  const char* second = pwgName ? strchr(pwgName, '_') : nullptr;
  if (!second) return 0;
  const char* end = strchr(second + 1, '_');
  const size_t n = end ? static_cast<size_t>(end - pwgName) : strlen(pwgName);
  for (const MediaSizeRow& row : MediaSizeTable) {
    if (strncmp(row.pwgName, pwgName, n) == 0 && (row.pwgName[n] == '_' || row.pwgName[n] == 0)) {
      return row.code;
    }
  }
  return 0;
}
