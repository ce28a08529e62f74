// qvlwait: the time a user waits, from the printer's reply to the status dialog on screen, under
// Wine. It plays the spooler and the printer around the real qvllink.dll (wait_spooler,
// wait_port), brings up one printer condition at a time in the middle of a job, and watches
// from outside the product when the reply reaches the monitor's calls, when the monitor reads
// the printer's name to post the code (Windows 95 path) or publishes it as printer data (NT
// path), and when the display program's dialog is visible and painted (wait_watch). One JSON
// line per code on stdout; scripts/bench-wait turns them into figures.
//
//   qvlwait running|started|nt|nt-remote|watch [--samples N] [--panel PATH]... [--dll PATH]
//           [--windows N]
//   qvlwait parts [--reps N]
//
// running  Windows 95 path, the display program already running (started before each code,
//          as it ends at the printer's ready code).
// started  Windows 95 path, no display program: the monitor starts the system directory's.
// nt       NT path, the display program started with /signin /all and running for all codes.
// nt-remote  the same with the printer a print server's, reached as \\QVLBENCH\printer: read
//          at the print server's rate.
// watch    Windows 95 path, qvlspool's stand-in display window in this process instead.
// parts    the reply parser and the status file lookup, timed in place (no monitor).
// With several --panel programs the codes take them in turn (nt: in blocks, each program started
// afresh with one first code), so each variant meets the same machine load. --windows N gives
// the desktop N more top-level windows (hidden, of this program), as the other programs of a
// user's session have them: a search of the desktop by title costs a wineserver call per window.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display_link.h"
#include "reply_parsers.h"
#include "status_codes.h"
#include "status_file.h"
#include "status_filter.h"
#include "wait_port.h"
#include "wait_spooler.h"
#include "wait_watch.h"

namespace {

const char PRINTER[] = "Office QV-L3820";
const char STATUS_SUFFIX[] = " - Status Display";
const double CODE_WAIT_MS = 15000;
const double REMOTE_CODE_WAIT_MS = 35000;  // a print server's printer is read every 15 s
const char REMOTE_PREFIX[] = "\\\\QVLBENCH\\";
const uint32_t NT_BLOCK = 5;  // codes per program start on the NT path, after its first code

struct Condition {
  PrinterCondition condition;
  uint32_t tray;
  uint32_t size;
};
// The conditions that stop a printer and ask for the user, in turn: each has its own record in
// the status message file, at different depths of it.
const Condition Conditions[] = {
    {COND_JAM, 0, 0},       {COND_DOOR_OPEN, 0, 0}, {COND_PAPER_OUT, 1, 4},
    {COND_PAPER_OUT, 2, 1}, {COND_SERVICE, 0, 0},
};
const uint32_t CONDITION_COUNT = sizeof Conditions / sizeof Conditions[0];

struct Options {
  std::string kind;
  uint32_t samples = 60;
  uint32_t reps = 2000;
  std::vector<std::string> panels;
  std::string dll;
  uint32_t desktopWindows = 0;
};

std::string SystemFile(const char* name) {
  char dir[MAX_PATH];
  GetSystemDirectoryA(dir, MAX_PATH);
  return std::string(dir) + "\\" + name;
}

// The entry the display program shows for a code, as it finds it.
bool ExpectedText(uint32_t code, std::string* text) {
  FilterState filter = {};
  DWORD shown = code;
  if (!FilterStatusCode(&filter, &shown, 0, 0, FALSE, NULL)) return false;
  StatusEntry entry = {};
  // As the program loads it: a paper code folded to 41000 names its tray and size.
  if (!LoadStatusEntry(SystemFile(STATUS_FILE_PREFIX "3820").c_str(), code, shown, &entry)) {
    return false;
  }
  *text = entry.statusText;
  return true;
}

uint32_t Random() {
  static uint32_t state = 12345;
  state = state * 1103515245u + 12345u;
  return state >> 8;
}

// Milliseconds since queued, or null for what was not seen.
void Field(std::string* line, const char* name, double at, double queued) {
  char text[64];
  if (at == 0) {
    snprintf(text, sizeof text, ",\"%s\":null", name);
  } else {
    snprintf(text, sizeof text, ",\"%s\":%.3f", name, at - queued);
  }
  line->append(text);
}

struct Sample {
  uint32_t variant = 0;
  bool first = false;  // the first code of a program started for it (nt)
  uint32_t code = 0;
  ReplyStamps stamps = {};
  double nameRead = 0, published = 0, received = 0, visible = 0, painted = 0;
  bool ok = false;
};

void Print(const Options& o, const Sample& s) {
  char head[192];
  snprintf(head, sizeof head,
           "{\"case\":\"%s\",\"bits\":%u,\"windows\":%u,\"variant\":%u,\"first\":%s,"
           "\"code\":%u,\"queued_at\":%.3f",
           o.kind.c_str(), static_cast<unsigned>(sizeof(void*) * 8),
           static_cast<unsigned>(o.desktopWindows), s.variant, s.first ? "true" : "false", s.code,
           s.stamps.queued);
  std::string line = head;
  const double q = s.stamps.queued;
  Field(&line, "zero_write", s.stamps.zeroWrite, q);
  Field(&line, "read", s.stamps.read, q);
  Field(&line, "name_read", s.nameRead > q ? s.nameRead : 0, q);
  Field(&line, "published", s.published, q);
  Field(&line, "received", s.received, q);
  Field(&line, "visible", s.visible, q);
  Field(&line, "painted", s.painted, q);
  line.append(s.ok ? ",\"ok\":true}" : ",\"ok\":false}");
  printf("%s\n", line.c_str());
  fflush(stdout);
}

bool IsNt(const Options& o) {
  return o.kind == "nt" || o.kind == "nt-remote";
}
double CodeWaitMs(const Options& o) {
  return o.kind == "nt-remote" ? REMOTE_CODE_WAIT_MS : CODE_WAIT_MS;
}
// The status dialog's title: the printer's name as the program reads it.
std::string Title(const Options& o) {
  return (o.kind == "nt-remote" ? std::string(REMOTE_PREFIX) : std::string()) + PRINTER +
         STATUS_SUFFIX;
}

// One code: the condition comes up, the display shows it (or the stand-in window receives it),
// the user puts the printer right.
Sample OneCode(const Options& o, uint32_t index) {
  Sample s;
  const Condition& c = Conditions[index % CONDITION_COUNT];
  // A pause of 150 to 450 ms, so the condition comes at any moment of the spooler's writing.
  Sleep(150 + Random() % 300);
  s.code = WaitPortRaise(c.condition, c.tray, c.size);
  const double queued = WaitPortStamps().queued;
  const double deadline = queued + CodeWaitMs(o);
  std::string text;
  if (o.kind == "watch") {
    while ((s.received = WatchReceived(s.code, queued)) == 0 && NowMs() < deadline) Sleep(1);
    s.ok = s.received != 0;
  } else if (ExpectedText(s.code, &text)) {
    const std::string title = Title(o);
    s.ok = WaitDialog(title.c_str(), text.c_str(), deadline, &s.visible, &s.painted);
  }
  s.stamps = WaitPortStamps();
  s.nameRead = LastNameRead();
  if (IsNt(o)) s.published = Published(s.code, queued);
  return s;
}

// The program of variant v, or the system directory's.
std::string PanelPath(const Options& o, uint32_t v) {
  return o.panels.empty() ? SystemFile(DISPLAY_PROGRAM_FILE) : o.panels[v];
}

int RunCodes(const Options& o) {
  // A window of this program first: under Wine it brings up the desktop process, which on Windows
  // is always there before a monitor starts a program.
  CreateWindowA("STATIC", "qvlwait", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
  for (uint32_t i = 0; i < o.desktopWindows; ++i) {
    char title[32];
    snprintf(title, sizeof title, "Other program %u", static_cast<unsigned>(i));
    CreateWindowA("STATIC", title, WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
  }
  uint32_t topLevel = 0;
  for (HWND w = NULL; (w = FindWindowExA(NULL, w, NULL, NULL)) != NULL;) ++topLevel;
  printf("{\"case\":\"%s\",\"bits\":%u,\"run\":true,\"desktop_windows\":%u}\n", o.kind.c_str(),
         static_cast<unsigned>(sizeof(void*) * 8), static_cast<unsigned>(topLevel));
  SpoolerSetup setup;
  setup.nt = IsNt(o);
  setup.remote = o.kind == "nt-remote";
  setup.dll = o.dll;
  setup.printer = PRINTER;
  if (!StartSpooler(setup)) return 3;
  if (o.kind == "watch" && !WatchWindowStart()) {
    fprintf(stderr, "qvlwait: no stand-in display window\n");
    return 3;
  }
  const uint32_t variants = o.panels.empty() ? 1 : static_cast<uint32_t>(o.panels.size());
  const std::string title = Title(o);
  Sleep(1000);  // the job under way, the printer's first replies read
  HANDLE signin = NULL;
  int failed = 0;
  for (uint32_t i = 0, block = 0; i < o.samples; ++i) {
    uint32_t v = i % variants;
    bool first = false;
    HANDLE program = NULL;
    if (o.kind == "running" || o.kind == "started") {
      // A program left from a code whose dialog did not come would take this code as its own.
      EndProgram(ProgramOfWindow(DISPLAY_WINDOW_TITLE), DISPLAY_WINDOW_TITLE, 5000);
    }
    if (o.kind == "running") {
      program = StartProgram(PanelPath(o, v).c_str(), "", DISPLAY_WINDOW_TITLE);
    } else if (o.kind == "started") {
      // The monitor starts the system directory's program: the variant goes there.
      if (variants > 1) {
        CopyFileA(o.panels[v].c_str(), SystemFile(DISPLAY_PROGRAM_FILE).c_str(), FALSE);
      }
    } else if (IsNt(o)) {
      v = (i / NT_BLOCK) % variants;
      if (i % NT_BLOCK == 0) {
        EndProgram(signin, DISPLAY_SESSION_WINDOW_TITLE, 5000);
        // Every printer: this spooler's job is no user's.
        signin = StartProgram(PanelPath(o, v).c_str(), DISPLAY_SIGNIN_SWITCH " " DISPLAY_ALL_SWITCH,
                              DISPLAY_SESSION_WINDOW_TITLE);
        first = true;
      }
    }
    Sample s = OneCode(o, block++);
    s.variant = v;
    s.first = false;
    if (first) {
      // The program's first code, shown before the counted ones of its block.
      s.first = true;
      Print(o, s);
      WaitPortRemedy();
      WaitNoDialog(title.c_str(), NowMs() + CodeWaitMs(o));
      s = OneCode(o, block++);
      s.variant = v;
    }
    Print(o, s);
    if (!s.ok) ++failed;
    if (o.kind == "started") program = ProgramOfWindow(DISPLAY_WINDOW_TITLE);
    WaitPortRemedy();
    if (o.kind == "running" || o.kind == "started") {
      // The ready code ends the program.
      EndProgram(program, NULL, 10000);
    } else if (IsNt(o)) {
      WaitNoDialog(title.c_str(), NowMs() + CodeWaitMs(o));
    } else {
      const double after = NowMs();
      while (WatchReceived(STATUS_CODE_READY, after) == 0 && NowMs() < after + 5000) {
        Sleep(1);
      }
    }
  }
  EndProgram(signin, DISPLAY_SESSION_WINDOW_TITLE, 5000);
  StopSpooler();
  fprintf(stderr, "qvlwait %s: %u codes, %d without their dialog\n", o.kind.c_str(), o.samples,
          failed);
  return failed == 0 ? 0 : 1;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// The reply parser and the status file lookup of each code, as the monitor and the display
// program run them, under the same Wine: median microseconds of reps runs each.
int RunParts(const Options& o) {
  PrinterConfig config;
  PrinterConfigDefaults(&config, FindPrinterModel("QV-L3820"));
  const std::string file = SystemFile(STATUS_FILE_PREFIX "3820");
  for (const Condition& c : Conditions) {
    EmulatedPrinter* printer = EmulatedPrinterCreate(&config);
    EmulatedPrinterConnect(printer);
    const char on[] = "\x1b%-12345X@PJL USTATUS DEVICE=ON\r\n";
    EmulatedPrinterWrite(printer, on, sizeof on - 1);
    EmulatedPrinterRaise(printer, c.condition, 0, c.tray, c.size);
    char reply[1024] = {};
    EmulatedPrinterRead(printer, reply, sizeof reply - 1);
    PrinterCounters counters;
    EmulatedPrinterCounters(printer, &counters);
    EmulatedPrinterDestroy(printer);
    DWORD shown = counters.statusCode;
    FilterState filter = {};
    FilterStatusCode(&filter, &shown, 0, 0, FALSE, NULL);
    std::vector<double> parse, lookup;
    for (uint32_t r = 0; r < o.reps; ++r) {
      char text[1024];
      memcpy(text, reply, sizeof text);
      StatusToken tokens[MAX_REPLY_TOKENS];
      uint32_t count = 0;
      char* stop = text;
      double t0 = NowMs();
      ParsePlainReply(text, MAX_REPLY_TOKENS, tokens, &count, &stop);
      double t1 = NowMs();
      StatusEntry entry = {};
      LookupStatusEntry(file.c_str(), shown, &entry);
      double t2 = NowMs();
      parse.push_back((t1 - t0) * 1000);
      lookup.push_back((t2 - t1) * 1000);
    }
    printf(
        "{\"case\":\"parts\",\"bits\":%u,\"code\":%u,\"reply_bytes\":%u,\"parse_us\":%.3f,"
        "\"lookup_us\":%.3f}\n",
        static_cast<unsigned>(sizeof(void*) * 8), counters.statusCode,
        static_cast<unsigned>(strlen(reply)), Median(parse), Median(lookup));
  }
  return 0;
}

bool ParseOptions(int argc, char** argv, Options* o) {
  if (argc < 2) return false;
  o->kind = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--samples" && more) {
      o->samples = static_cast<uint32_t>(atoi(argv[++i]));
    } else if (a == "--reps" && more) {
      o->reps = static_cast<uint32_t>(atoi(argv[++i]));
    } else if (a == "--panel" && more) {
      o->panels.push_back(argv[++i]);
    } else if (a == "--windows" && more) {
      o->desktopWindows = static_cast<uint32_t>(atoi(argv[++i]));
    } else if (a == "--dll" && more) {
      o->dll = argv[++i];
    } else {
      return false;
    }
  }
  const char* kinds[] = {"running", "started", "nt", "nt-remote", "watch", "parts"};
  for (const char* k : kinds) {
    if (o->kind == k) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, &o)) {
    fprintf(stderr,
            "usage: qvlwait running|started|nt|watch [--samples N] [--panel PATH]... "
            "[--dll PATH]\n       qvlwait parts [--reps N]\n");
    return 2;
  }
  const int result = o.kind == "parts" ? RunParts(o) : RunCodes(o);
  fflush(stdout);
  // The monitor stays loaded, as with a spooler: its threads may still be finishing.
  ExitProcess(static_cast<UINT>(result));
}
