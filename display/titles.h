// Dialog titles from the shared printer name.
#pragma once

#include "display_link.h"

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
