// Scenario "names": printer name blocks without NUL, too large, too small, of the wrong kind.
#include "hostile_driver.h"

namespace {

const char kFallbackStatus[] = "Status Display";

const LONG kNamesModel = 9860;

// Starts the program, posts a code whose record opens the status dialog, and expects a dialog
// titled title (or orTitle, when given); then ends the program with the dialog open.
void ExpectTitle(const char* what, const std::string& title, const std::string& orTitle = "") {
  Panel panel;
  if (!panel.Start()) return;
  panel.PostCode(41000, kNamesModel);
  HWND dialog = WaitForDialog(panel, title, "Paper out in the feeder.\r\n");
  if (dialog == NULL && !orTitle.empty()) {
    dialog = WaitForDialog(panel, orTitle, "Paper out in the feeder.\r\n", kStepMs);
  }
  if (dialog == NULL) {
    std::string seen;
    for (HWND d : panel.Dialogs()) seen += " \"" + Printable(WindowText(d)) + "\"";
    Fail("%s: no dialog titled \"%s\" (dialogs:%s)", what, Printable(title).c_str(),
         seen.empty() ? " none" : seen.c_str());
    panel.CheckCleanEnd(what);
  } else {
    Note("ok: %s", what);
  }
  panel.EndWithDestroy(what);
}

}  // namespace

int Names() {
  if (!WriteStatusFile(kNamesModel, WellFormedFile())) return 1;
  NameBlock block;

  // The monitor's own shape, full to the last byte: the name is the whole block.
  std::string full(SHARED_PRINTER_NAME_SIZE, 'Q');
  if (block.Create(SHARED_PRINTER_NAME_SIZE, full.data(), SHARED_PRINTER_NAME_SIZE)) {
    ExpectTitle("48-byte block without NUL", full + kStatusSuffix);
  }

  // Bytes of every kind but NUL, high bytes and control bytes included.
  std::string odd;
  for (int i = 0; i < SHARED_PRINTER_NAME_SIZE; ++i) {
    odd += static_cast<char>(i % 2 ? 0xA0 + i : 1 + i % 31);
  }
  if (block.Create(SHARED_PRINTER_NAME_SIZE, odd.data(), SHARED_PRINTER_NAME_SIZE)) {
    ExpectTitle("48 control and high bytes without NUL", odd + kStatusSuffix);
  }

  // A creator that made the block a page and more, with no NUL anywhere: nothing past the
  // first 48 bytes may be read.
  const DWORD kLarge = 3 * 4096;
  std::string large(kLarge, 'L');
  for (DWORD i = SHARED_PRINTER_NAME_SIZE; i < kLarge; ++i)
    large[i] = static_cast<char>('a' + i % 26);
  if (block.Create(kLarge, large.data(), kLarge)) {
    ExpectTitle("12 KB block without NUL",
                large.substr(0, SHARED_PRINTER_NAME_SIZE) + kStatusSuffix);
  }

  // An empty name: the title is the suffix alone.
  if (block.Create(SHARED_PRINTER_NAME_SIZE, "", 1)) {
    ExpectTitle("empty name", kStatusSuffix);
  }

  // A block of one byte: Windows refuses a 48-byte view of it (fallback titles); Wine maps
  // the whole page, whose other bytes are zero.
  if (block.Create(1, "X", 1)) {
    ExpectTitle("1-byte block", kFallbackStatus, std::string("X") + kStatusSuffix);
  }

  // An event under the block's name.
  if (block.CreateImpostor()) ExpectTitle("an event under the block's name", kFallbackStatus);
  block.Close();

  RemoveStatusFile(kNamesModel);
  return failures ? 1 : 0;
}
