// Scenario "files SEED COUNT": COUNT malformed status message files made from SEED, then files
// that cannot be read the ordinary way.
#include <stdio.h>

#include "hostile_driver.h"

namespace {

const size_t kStatusTextMax = 79;
const size_t kRecoveryTextMax = 511;

const LONG kFirstFuzzModel = 9700;

std::string RandomCase(Random& random, const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z' && random.Below(2)) c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string Digits(Random& random, size_t count, const char* lead) {
  std::string digits = lead;
  while (digits.size() < count) digits += static_cast<char>('0' + random.Below(10));
  return digits;
}

// One malformed file; kind picks the way it is broken, random the details.
std::string MalformedFile(int kind, Random& random, std::string* name) {
  const std::string base = WellFormedFile();
  std::string text;
  switch (kind) {
    case 0:
      *name = "truncated";
      text = base.substr(0, random.Between(1, static_cast<uint32_t>(base.size()) - 12));
      break;
    case 1: {
      *name = "huge lines";
      size_t length = random.Between(256, 40000);
      text = "<CODE>\t41000\r\n<GROP>\t1\r\n<ICON>\t9\r\n<STAT>\t" + std::string(length, 'S') +
             "\r\n<RCVR>\t" + std::string(random.Between(200, 3000), 'R') + "\\\r\n" +
             std::string(random.Between(250, 260), 'r') + "\r\n" + base;
      break;
    }
    case 2:
      *name = "no line ends";
      text = ReplaceAll(base, "\r\n", random.Below(2) ? "" : (random.Below(2) ? "\r" : "\t"));
      break;
    case 3: {
      *name = "binary bytes";
      size_t length = random.Between(1, 16384);
      if (random.Below(2)) text = "<CODE>\t41000\r\n<GROP>\t1\r\n";
      for (size_t i = 0; i < length; ++i) text += static_cast<char>(random.Below(256));
      break;
    }
    case 4:
      *name = "NUL bytes";
      text = base;
      for (int i = 0; i < 12; ++i) text[random.Below(static_cast<uint32_t>(text.size()))] = '\0';
      text.insert(random.Below(static_cast<uint32_t>(text.size())), std::string(300, '\0'));
      break;
    case 5:
      *name = "tags in odd case and odd places";
      for (const Record& r : kRecords) {
        std::string record = RecordText(r);
        record = RandomCase(random, record);
        if (random.Below(3) == 0) record = ReplaceAll(record, "\t", " ");
        if (random.Below(3) == 0) record = "\t" + record;
        text += record;
      }
      text += RandomCase(random, "<CODE>\t0\r\n");
      break;
    case 6:
      *name = "numbers with thousands of digits";
      text = "<CODE>\t" + Digits(random, random.Between(1000, 6000), "41000") + "\r\n<GROP>\t" +
             Digits(random, 3000, "9") + "\r\n<ICON>\t" + Digits(random, 4000, "6") +
             "\r\n<STAT>\tMany digits.\r\n<RCVR>\t" + Digits(random, 700, "1") + "\r\n" +
             "<CODE>\t" + std::string(5000, '0') + "41000\r\n" + base;
      break;
    case 7: {
      *name = "icons out of range";
      const char* icons[] = {"12",         "13",         "255", "6000",
                             "99999",      "4294967295", "-1",  "18446744073709551617",
                             "2147483648", "65535",      "x",   ""};
      for (const Record& r : kRecords) {
        Record odd = r;
        std::string record = RecordText(odd);
        std::string icon = "<ICON>\t" + std::to_string(r.icon);
        record = ReplaceAll(record, icon, std::string("<ICON>\t") + icons[random.Below(12)]);
        text += record;
      }
      text += "<CODE>\t0\r\n";
      break;
    }
    case 8:
      *name = "line end oddities";
      text = ReplaceAll(base, "\r\n", random.Below(2) ? "\\\n" : "\\\r\n");
      text = ReplaceAll(text, "<STAT>", "\r\r\n\n\\\r\n\\\n<STAT>");
      text += random.Below(2) ? "\\" : "\r";
      break;
    case 9: {
      *name = "texts over their buffers";
      text = "<CODE>\t41000\r\n<GROP>\t1\r\n<ICON>\t6\r\n<STAT>\t";
      for (int i = 0; i < 40; ++i) text += std::string(random.Between(1, 60), 's') + "\\\r\n";
      text += "<RCVR>\t";
      for (int i = 0; i < 200; ++i) {
        text += std::string(random.Between(1, 300), 'r') + (random.Below(2) ? "\\\r\n" : "\r\n");
      }
      text += base;
      break;
    }
    case 10:
      *name = "random edits";
      text = base;
      for (int i = 0; i < 40; ++i) {
        uint32_t at = random.Below(static_cast<uint32_t>(text.size()));
        switch (random.Below(3)) {
          case 0:
            text[at] = static_cast<char>(random.Below(256));
            break;
          case 1:
            text.insert(at, 1, static_cast<char>(random.Below(256)));
            break;
          default:
            text.erase(at, random.Between(1, 8));
            if (text.empty()) text = "<";
            break;
        }
      }
      break;
    default: {
      *name = "records out of order, many records, no end line";
      std::vector<std::string> lines;
      for (size_t at = 0, next; at < base.size(); at = next + 2) {
        next = base.find("\r\n", at);
        if (next == std::string::npos) break;
        lines.push_back(base.substr(at, next - at + 2));
      }
      for (int i = 0; i < 400; ++i)
        text += lines[random.Below(static_cast<uint32_t>(lines.size()))];
      for (int i = 0; i < 300; ++i) {
        text += "<CODE>\t" + std::to_string(random.Between(10001, 50554)) +
                "\r\n<GROP>\t1\r\n<ICON>\t1\r\n<STAT>\tfiller\r\n<RCVR>\tfiller\r\n";
      }
      text += RecordText(kRecords[random.Below(7)]);  // runs into the end of the file
      break;
    }
  }
  return text;
}

const int kMalformedKinds = 12;

// After codes for a malformed file: still answering, texts within their buffers.
void CheckAfterCodes(Panel& panel, const std::string& what) {
  if (!panel.Settle(what.c_str())) return;
  size_t open = panel.Dialogs().size();
  if (open > 1) Fail("%s: %zu dialogs open at once", what.c_str(), open);
  for (HWND dialog : panel.Dialogs()) {
    std::string status = ControlText(dialog, IDC_STATUS_TEXT);
    if (status.size() > kStatusTextMax) {
      Fail("%s: status text of %zu bytes", what.c_str(), status.size());
    }
    if (GetDlgItem(dialog, IDC_RECOVERY_TEXT) != NULL) {
      std::string recovery = ControlText(dialog, IDC_RECOVERY_TEXT);
      if (recovery.size() > kRecoveryTextMax) {
        Fail("%s: recovery text of %zu bytes", what.c_str(), recovery.size());
      }
    }
  }
}

bool EnsureRunning(Panel& panel, const std::string& what) {
  if (panel.Started() && !panel.Ended()) return true;
  if (panel.Started() && !panel.CheckCleanEnd(what.c_str())) {
    // already reported
  }
  return panel.Start();
}

void PostProbes(Panel& panel, LONG model, Random& random) {
  for (DWORD code : kProbeCodes) {
    if (code == 10001) continue;  // would end the program; tried once at the end
    panel.PostCode(code, model);
  }
  for (int i = 0; i < 3; ++i) panel.PostCode(random.Between(10001, 50554), model);
}

}  // namespace

int Files(uint32_t seed, int count) {
  NameBlock block;
  if (!block.Create(SHARED_PRINTER_NAME_SIZE, "", 1) || !block.WriteName("Fuzzed")) return 1;
  Random random(seed);
  Panel panel;
  std::vector<LONG> models;

  for (int i = 0; i < count; ++i) {
    std::string kind;
    std::string text = MalformedFile(i % kMalformedKinds, random, &kind);
    LONG model = kFirstFuzzModel + i;
    char what[128];
    snprintf(what, sizeof(what), "file %d (%s, %zu bytes, seed %u)", i, kind.c_str(), text.size(),
             seed);
    if (!WriteStatusFile(model, text)) continue;
    models.push_back(model);
    if (!EnsureRunning(panel, what)) break;
    PostProbes(panel, model, random);
    // Now and then the recovery dialog, which also shows the recovery text and the picture.
    if (i % 3 == 2) {
      panel.Settle(what);
      for (HWND dialog : panel.Dialogs()) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_RECOVERY_BUTTON, BN_CLICKED), 0);
      }
      PostProbes(panel, model, random);
    }
    CheckAfterCodes(panel, what);
    Note("%s: %s", what, panel.Ended() ? "the program ended" : "done");
    if (panel.Ended()) panel.CheckCleanEnd(what);
  }

  // Files that cannot be read the ordinary way: empty, a lone LF, a directory, a file held
  // open by another program without sharing.
  LONG model = kFirstFuzzModel + count;
  const char* specials[] = {"empty file", "a lone LF", "a directory", "a locked file"};
  for (int special = 0; special < 4; ++special, ++model) {
    HANDLE locked = INVALID_HANDLE_VALUE;
    std::string path = StatusFilePath(model);
    models.push_back(model);
    if (special == 0) WriteStatusFile(model, "");
    if (special == 1) WriteStatusFile(model, "\n");
    if (special == 2) {
      DeleteFileA(path.c_str());
      CreateDirectoryA(path.c_str(), NULL);
    }
    if (special == 3) {
      WriteStatusFile(model, WellFormedFile());
      locked = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    }
    std::string what = std::string("special file: ") + specials[special];
    if (EnsureRunning(panel, what)) {
      PostProbes(panel, model, random);
      CheckAfterCodes(panel, what);
      if (panel.Ended()) panel.CheckCleanEnd(what.c_str());
    }
    if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
  }

  // The exit code of the last file's records, then WM_DESTROY.
  if (EnsureRunning(panel, "the end")) {
    panel.PostCode(10001, kFirstFuzzModel);
    panel.Settle("10001 at the end");
    panel.EndWithDestroy("WM_DESTROY after the malformed files");
  }
  for (LONG m : models) RemoveStatusFile(m);
  Note("%d malformed files and 4 special ones, %d program start(s)", count, panel.Starts());
  return failures ? 1 : 0;
}
