// Dialog titles from the shared printer name.
#include "titles.h"

#include <string.h>

namespace {

template <typename Char>
size_t Length(const Char* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

// Appends text to title (TITLE_SIZE units), cutting it to what fits.
template <typename Char>
void AppendCut(Char* title, const Char* text) {
  size_t have = Length(title);
  size_t add = Length(text);
  if (add > TITLE_SIZE - 1 - have) add = TITLE_SIZE - 1 - have;
  memcpy(title + have, text, add * sizeof(Char));
  title[have + add] = 0;
}

template <typename Char, typename Texts>
void BuildTitles(const Char* printerName, const Texts* texts, Char* statusTitle,
                 Char* recoveryTitle) {
  statusTitle[0] = 0;
  recoveryTitle[0] = 0;
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

}  // namespace

void CopySharedPrinterName(const char* block, char* name) {
  size_t n = 0;
  while (n < SHARED_PRINTER_NAME_SIZE && block[n] != '\0') ++n;
  memcpy(name, block, n);
  name[n] = '\0';
}

void BuildDialogTitles(const char* printerName, const TitleTexts* texts, char* statusTitle,
                       char* recoveryTitle) {
  BuildTitles(printerName, texts, statusTitle, recoveryTitle);
}

void BuildWideDialogTitles(const uint16_t* printerName, const WideTitleTexts* texts,
                           uint16_t* statusTitle, uint16_t* recoveryTitle) {
  BuildTitles(printerName, texts, statusTitle, recoveryTitle);
}

BOOL SharedPrinterNameToWide(const char* name, uint16_t* wide) {
  const int n =
      MultiByteToWideChar(CP_ACP, 0, name, -1, reinterpret_cast<LPWSTR>(wide), PRINTER_NAME_SIZE);
  if (n == 0) wide[0] = 0;
  return n != 0;
}
