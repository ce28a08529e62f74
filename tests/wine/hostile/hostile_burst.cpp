// Scenario "burst SEED COUNT": COUNT random codes in one burst, then WM_DESTROY.
#include <algorithm>

#include "hostile_driver.h"

namespace {

const LONG kBurstModelA = 9871;
const LONG kBurstModelB = 9872;

// A second file with the same codes and other texts; neither knows 10001 or 40000, and every
// record has a group other than 0, so nothing in the burst ends the program by itself.
std::string SecondFile() {
  std::string text;
  for (const Record& r : kRecords) {
    Record other = r;
    other.status = "Other model.";
    other.icon = (r.icon + 3) % 12;
    text += RecordText(other);
  }
  return text + "<CODE>\t0\r\n";
}

}  // namespace

int Burst(uint32_t seed, int count) {
  if (!WriteStatusFile(kBurstModelA, WellFormedFile()) ||
      !WriteStatusFile(kBurstModelB, SecondFile())) {
    return 1;
  }
  NameBlock block;
  if (!block.Create(SHARED_PRINTER_NAME_SIZE, "", 1) || !block.WriteName("Burst")) return 1;
  Panel panel;
  if (!panel.Start()) return 1;

  Random random(seed);
  const DWORD recall[] = {10001, 10003, 40000};
  DWORD start = GetTickCount();
  int unanswered = 0;
  int unposted = 0;
  size_t mostDialogs = 0;
  for (int i = 0; i < count; ++i) {
    DWORD code;
    uint32_t pick = random.Below(10);
    if (pick < 4) {
      code = kRecords[random.Below(7)].code;
    } else if (pick < 5) {
      code = recall[random.Below(3)];
    } else if (pick < 8) {
      code = random.Between(10001, 50554);
    } else {
      code = random.Next();
    }
    LPARAM model;
    pick = random.Below(20);
    if (pick < 9) {
      model = kBurstModelA;
    } else if (pick < 16) {
      model = kBurstModelB;
    } else if (pick < 18) {
      model = 99999;  // no file
    } else {
      model = static_cast<LONG>(random.Next());
    }
    if (!panel.PostCode(code, model)) ++unposted;
    if (i % 500 == 499) {
      if (panel.FindMainWindow() == NULL || !panel.Answers()) ++unanswered;
      mostDialogs = std::max(mostDialogs, panel.Dialogs().size());
    }
    if (panel.Ended()) break;
  }
  Note("%d codes posted in %lu ms", count, GetTickCount() - start);

  // The last word: a known entry, which must show once the burst has been worked through.
  panel.PostCode(40022, kBurstModelA);
  panel.PostCode(40021, kBurstModelA);
  HWND shown = NULL;
  const std::string title = std::string("Burst") + kStatusSuffix;
  while (shown == NULL && !panel.Ended() && GetTickCount() - start < kBurstMs) {
    if (panel.FindMainWindow() == NULL || !panel.Answers()) ++unanswered;
    mostDialogs = std::max(mostDialogs, panel.Dialogs().size());
    for (HWND dialog : panel.Dialogs()) {
      std::string caption = WindowText(dialog);
      if ((caption == title || caption == title + " - Recovery") &&
          ControlText(dialog, IDC_STATUS_TEXT) == "Front cover open.\r\n") {
        shown = dialog;
      }
    }
    if (shown == NULL) Sleep(200);
  }
  size_t dialogs = panel.Ended() ? 0 : panel.Dialogs().size();
  Note("burst worked through after %lu ms, %zu dialog(s) open", GetTickCount() - start, dialogs);
  if (unposted) Fail("%d codes could not be posted", unposted);
  if (unanswered) Fail("%d times the program did not answer during the burst", unanswered);
  if (panel.Ended()) {
    Fail("the program ended during the burst (exit code 0x%08lX)", panel.ExitCode());
  } else if (shown == NULL) {
    Fail("the last code of the burst was not shown within %lu ms", kBurstMs);
  }
  if (std::max(dialogs, mostDialogs) > 1) {
    Fail("up to %zu dialogs open at once during the burst", std::max(dialogs, mostDialogs));
  }
  DWORD elapsed = GetTickCount() - start;
  panel.EndWithDestroy("WM_DESTROY after the burst", elapsed < kBurstMs ? kBurstMs - elapsed : 1);
  Note("burst, WM_DESTROY included: %lu ms", GetTickCount() - start);
  RemoveStatusFile(kBurstModelA);
  RemoveStatusFile(kBurstModelB);
  return failures ? 1 : 0;
}
