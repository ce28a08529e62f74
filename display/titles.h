// Dialog titles from the shared printer name.
#pragma once

#include <stdint.h>

#include "display_link.h"
#include "win32.h"

#define TITLE_SIZE 303                                    // each of the four title buffers
#define PRINTER_NAME_SIZE (SHARED_PRINTER_NAME_SIZE + 1)  // the whole block and a NUL

// Copies the printer name out of the shared block: up to the first NUL, but never more than
// the block's SHARED_PRINTER_NAME_SIZE bytes, and always NUL-terminated in name.
void CopySharedPrinterName(const char* block, char* name);

// String-table texts the titles are made of.
struct TitleTexts {
  const char* fallbackStatus;    // "Status Display"
  const char* fallbackRecovery;  // "Status Display - Recovery"
  const char* statusSuffix;      // " - Status Display"
  const char* recoverySuffix;    // " - Recovery"
};

// Builds the status and recovery titles (TITLE_SIZE bytes each) for printerName, or the
// fallback titles when printerName is NULL (the shared block could not be read).
void BuildDialogTitles(const char* printerName, const TitleTexts* texts, char* statusTitle,
                       char* recoveryTitle);

// The same titles in UTF-16, for the program's Unicode windows on the NT family: the printer
// name goes into them exactly as given, whatever the system's code page.
struct WideTitleTexts {
  const uint16_t* fallbackStatus;
  const uint16_t* fallbackRecovery;
  const uint16_t* statusSuffix;
  const uint16_t* recoverySuffix;
};
void BuildWideDialogTitles(const uint16_t* printerName, const WideTitleTexts* texts,
                           uint16_t* statusTitle, uint16_t* recoveryTitle);

// The shared block's printer name (the system's code page) in UTF-16, into wide
// (PRINTER_NAME_SIZE units): converted without any replacement character, as the system reads
// the name. FALSE when it cannot be converted.
BOOL SharedPrinterNameToWide(const char* name, uint16_t* wide);
