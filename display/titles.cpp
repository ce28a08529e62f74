// Dialog titles from the shared printer name.
#include "titles.h"

#include <string.h>

namespace {

// Appends text to title (TITLE_SIZE bytes), cutting it to what fits.
void AppendCut(char* title, const char* text) {
  size_t have = strlen(title);
  size_t add = strlen(text);
  if (add > TITLE_SIZE - 1 - have) add = TITLE_SIZE - 1 - have;
  memcpy(title + have, text, add);
  title[have + add] = '\0';
}

}  // namespace

void CopySharedPrinterName(const char* block, char* name) {
  size_t n = 0;
  while (n < SHARED_PRINTER_NAME_SIZE && block[n] != '\0') ++n;
  memcpy(name, block, n);
  name[n] = '\0';
}

void BuildDialogTitles(const char* printerName, const TitleTexts* texts, char* statusTitle,
                       char* recoveryTitle) {
  statusTitle[0] = '\0';
  recoveryTitle[0] = '\0';
  if (printerName == NULL) {
    AppendCut(statusTitle, texts->fallbackStatus);
    AppendCut(recoveryTitle, texts->fallbackRecovery);
    return;
  }
  AppendCut(statusTitle, printerName);
  AppendCut(statusTitle, texts->statusSuffix);
  AppendCut(recoveryTitle, statusTitle);
  AppendCut(recoveryTitle, texts->recoverySuffix);
}
