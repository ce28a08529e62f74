// Scenario "codes": codes and models outside every range; the program's internal messages
// posted from outside.
#include <stdio.h>

#include "hostile_driver.h"

namespace {

const LONG kCodesModel = 9861;

bool Is64Bit() {
  return sizeof(void*) == 8;
}

void ExpectNoDialog(Panel& panel, const char* what) {
  if (!panel.Settle(what)) {
    if (panel.CheckCleanEnd(what)) Fail("%s: the program ended", what);
    return;
  }
  std::vector<HWND> dialogs = panel.Dialogs();
  if (!dialogs.empty()) {
    Fail("%s: %zu dialog(s) opened, the first titled \"%s\"", what, dialogs.size(),
         Printable(WindowText(dialogs[0])).c_str());
  } else {
    Note("ok: %s", what);
  }
}

// The dialog stays open with the text it had.
void ExpectDialogUnchanged(Panel& panel, const char* what, const std::string& title,
                           const std::string& text) {
  if (!panel.Settle(what)) {
    if (panel.CheckCleanEnd(what)) Fail("%s: the program ended", what);
    return;
  }
  std::vector<HWND> dialogs = panel.Dialogs();
  if (dialogs.size() != 1 || WindowText(dialogs[0]) != title ||
      ControlText(dialogs[0], IDC_STATUS_TEXT) != text) {
    Fail("%s: expected one dialog \"%s\" showing \"%s\", found %zu", what, title.c_str(),
         Printable(text).c_str(), dialogs.size());
  } else {
    Note("ok: %s", what);
  }
}

}  // namespace

int Codes() {
  if (!WriteStatusFile(kCodesModel, WellFormedFile())) return 1;
  NameBlock block;
  if (!block.Create(SHARED_PRINTER_NAME_SIZE, "", 1) || !block.WriteName("Hostile")) return 1;
  const std::string title = std::string("Hostile") + kStatusSuffix;

  std::vector<WPARAM> outside = {0,
                                 1,
                                 9999,
                                 10000,
                                 50555,
                                 99999,
                                 100000,
                                 0x7FFFFFFF,
                                 0x80000000,
                                 0xFFFFFFFF,
                                 41000 - 0x10000u,
                                 40021u ^ 0x80000000u};
  if (Is64Bit()) {
    // Beyond 32 bits: not a code of any printer, whatever the low half says.
    const uint64_t high = 1ull << 32;
    for (uint64_t low : {41000ull, 40021ull, 10001ull}) {
      outside.push_back(static_cast<WPARAM>(high + low));
    }
    outside.push_back(static_cast<WPARAM>(~0ull));
  }
  std::vector<LPARAM> models = {kCodesModel, 0, -1, 3470, static_cast<LPARAM>(0x80000000u)};
  std::vector<LPARAM> missing = {0,
                                 1,
                                 99999,
                                 static_cast<LPARAM>(0xFFFFFFFFu),
                                 -1,
                                 -3820,
                                 static_cast<LPARAM>(0x80000000u),
                                 0x7FFFFFFF};
  if (Is64Bit()) {
    missing.push_back(static_cast<LPARAM>((1ull << 32) + kCodesModel));
    missing.push_back(static_cast<LPARAM>(~0ull >> 1));
  }
  for (LPARAM model : missing) {
    DWORD attributes = GetFileAttributesA(StatusFilePath(static_cast<LONG>(model)).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      Note("note: %s exists; model %lld is not a model without a file here",
           StatusFilePath(static_cast<LONG>(model)).c_str(), static_cast<long long>(model));
    }
  }

  Panel panel;
  if (!panel.Start()) return 1;

  for (WPARAM code : outside) {
    for (LPARAM model : models) panel.PostCode(code, model);
  }
  ExpectNoDialog(panel, "codes outside every range open nothing");

  for (LPARAM model : missing) {
    for (DWORD code : kProbeCodes) panel.PostCode(code, model);
  }
  ExpectNoDialog(panel, "codes for models without a status file open nothing");

  // Still working: a code of a known model opens its dialog.
  panel.PostCode(41000, kCodesModel);
  if (WaitForDialog(panel, title, "Paper out in the feeder.\r\n") == NULL) {
    Fail("a valid code after the junk opens no dialog");
  }
  for (WPARAM code : outside) panel.PostCode(code, kCodesModel);
  for (LPARAM model : missing) panel.PostCode(40021, model);
  ExpectDialogUnchanged(panel, "junk with the dialog open leaves it as it was", title,
                        "Paper out in the feeder.\r\n");
  panel.EndWithDestroy("WM_DESTROY after junk codes");

  // Two codes in a row, as a monitor forwards them from a busy port: one dialog, showing the
  // second entry.
  if (panel.Start()) {
    const char* what = "two codes in a row";
    panel.PostCode(41000, kCodesModel);
    panel.PostCode(40021, kCodesModel);
    if (WaitForDialog(panel, title, "Front cover open.\r\n") == NULL) {
      Fail("%s: no dialog shows the second code", what);
    }
    ExpectDialogUnchanged(panel, what, title, "Front cover open.\r\n");
    panel.EndWithDestroy(what);
  }

  // Another program's window that happens to carry the dialog's title is not the dialog.
  HWND decoy = CreateWindowExA(0, "STATIC", title.c_str(), WS_POPUP, 0, 0, 50, 20, NULL, NULL,
                               GetModuleHandleA(NULL), NULL);
  if (decoy != NULL && panel.Start()) {
    const char* what = "a window of another program titled like the dialog";
    panel.PostCode(41000, kCodesModel);
    if (WaitForDialog(panel, title, "Paper out in the feeder.\r\n") == NULL) {
      Fail("%s: the program opens no dialog of its own", what);
    } else {
      Note("ok: %s", what);
    }
    panel.EndWithDestroy(what);
  }
  if (decoy != NULL) DestroyWindow(decoy);

  // Messages that the program only ever posts to itself, posted by another program. Each
  // may open a dialog, but never one inside another.
  const UINT kInternal[] = {DLM_ENTRY_READY, DLM_OPEN_STATUS, DLM_OPEN_RECOVERY};
  const int kRepeats = 200;
  for (UINT message : kInternal) {
    char what[96];
    snprintf(what, sizeof(what), "%d times message %u from outside", kRepeats, message);
    if (!panel.Start()) continue;
    for (int i = 0; i < kRepeats; ++i) panel.Post(message, i % 2 ? 41000 : 0xFFFFFFFF, i);
    if (!panel.Settle(what)) {
      // Nothing in the program's windows is set up yet: there is nothing to end for.
      if (panel.CheckCleanEnd(what)) Fail("%s: the program ended", what);
      continue;
    }
    size_t open = panel.Dialogs().size();
    if (open > 1) {
      Fail("%s: %zu dialogs open at once, one inside the other", what, open);
    } else {
      Note("ok: %s: %zu dialog(s) open", what, open);
    }
    panel.EndWithDestroy(what, kBurstMs);
  }

  // The drum counter reset request, posted to a dialog by another program, many times: at
  // most one prompt, and WM_DESTROY still ends the program with the prompt up.
  if (panel.Start()) {
    const char* what = "drum reset request from outside";
    panel.PostCode(41000, kCodesModel);
    HWND dialog = WaitForDialog(panel, title, "Paper out in the feeder.\r\n");
    if (dialog == NULL) {
      Fail("%s: no dialog to send it to", what);
    } else {
      for (int i = 0; i < kRepeats; ++i) PostMessageA(dialog, DLM_DRUM_RESET, 0, 0);
      if (panel.Settle(what)) {
        size_t prompts = 0;
        for (HWND d : panel.Dialogs()) prompts += WindowText(d) == "WARNING!";
        if (prompts > 1) {
          Fail("%s: %zu prompts open at once", what, prompts);
        } else {
          Note("ok: %s: %zu prompt(s)", what, prompts);
        }
      }
    }
    panel.EndWithDestroy(what, kBurstMs);
  }

  RemoveStatusFile(kCodesModel);
  return failures ? 1 : 0;
}
