// The command line and step scripts of qvlspool.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "printer_store.h"
#include "spool_options.h"

namespace {

// ORDER: StepKind
const char* const StepNames[STEP_KIND_COUNT] = {
    "open",      "start",       "write",  "end",        "job",   "memory",   "device-id", "wait",
    "wait-idle", "wait-status", "remedy", "drum-reset", "close", "shutdown", "port",      "rename",
};

const char USAGE[] =
    "usage: qvlspool [OPTIONS] [STEP [STEP-OPTIONS]]...\n"
    "       qvlspool [OPTIONS] --script FILE\n"
    "       qvlspool bench [--size BYTES] [--chunk BYTES] [--port emu:MODEL]\n"
    "       qvlspool --signal-remedy\n"
    "options:\n"
    "  --nt                the NT-family spooler (InitializePrintMonitor2, wide names)\n"
    "  --dll PATH          language monitor (default: qvllink.dll beside qvlspool.exe)\n"
    "  --direct            no language monitor: the steps go straight to the port monitor\n"
    "  --port PORT         emu:generic | emu:QV-L3820 | emu:QV-L3470 | tcp:HOST:PORT\n"
    "  --printer NAME      the spooler's printer on the port (default \"QVL Printer\")\n"
    "  --scenario FILE     emu: what goes wrong when (host/printer/README.md)\n"
    "  --page-ms N         emu: time to print one page (default 0)\n"
    "  --lenient-job-reports  emu: the printer reports jobs unasked (strict PJL: only after\n"
    "                      USTATUS JOB=ON)\n"
    "  --nested-job-reports   emu: the printer reports the ends of nested PJL jobs too\n"
    "  --device-id TEXT    the device ID the port reports (default: the printer's)\n"
    "  --port-kind KIND    NT: usb | parallel | network (default: emu: usb; tcp: network,\n"
    "                      usb with --device-id)\n"
    "  --fail-registry     NT: every registry callback fails (ERROR_ACCESS_DENIED)\n"
    "  --cluster SERVER    NT: a clustered spooler: bLocal FALSE, printers \\\\SERVER\\NAME\n"
    "  --deny RIGHTS       use,administer: the printer's readers may not open it so\n"
    "  --connection \\\\SERVER\\NAME  the user's connection to printer NAME (several)\n"
    "  --json              the timeline as JSON lines; --bytes adds the bytes written\n"
    "  --watch-display     a stand-in display window in this process records what it gets\n"
    "  --no-printer-events leave the emulated printer's own events out of the timeline\n"
    "  --short-writes FROM:COUNT:LIMIT  port writes FROM.. write at most LIMIT bytes\n"
    "  --fail-reads FROM:COUNT          port reads FROM.. fail\n"
    "  --registry-root KEY  the monitor's key below HKEY_LOCAL_MACHINE\n"
    "  --write-timeout MS  give up a job when the printer takes nothing this long\n"
    "steps (a job id defaults to one more than the last):\n"
    "  open | close | end | memory | remedy | shutdown (NT, last)\n"
    "  drum-reset [--sequence N]  (NT: the request as printer data naming publication N)\n"
    "  device-id [--control N]\n"
    "  start [--job-id N] [--level 1|2] [--mode N] [--document NAME] [--owner NAME]\n"
    "        [--machine \\\\NAME]\n"
    "  write (--pages N [--page-bytes N] | --size N[k|M] | --file F | --text T) [--chunk N]\n"
    "  job   [start options] [write options]\n"
    "  wait MS | wait-idle [--timeout MS] | wait-status VALUE [--timeout MS]\n"
    "  port PORT [--printer NAME] [--scenario FILE] [--end-doc-ms N] [--deny RIGHTS]\n"
    "                      (emu:) the next steps'\n"
    "  rename NAME         the user renames the printer\n";

bool ParseNumber(const char* text, uint64_t* out) {
  char* end;
  if (!text || !*text) return false;
  uint64_t v = strtoull(text, &end, 0);
  if (*end == 'k' || *end == 'K') {
    v <<= 10;
    end++;
  } else if (*end == 'M') {
    v <<= 20;
    end++;
  }
  if (*end != '\0') return false;
  *out = v;
  return true;
}

bool Number32(const char* text, uint32_t* out) {
  uint64_t v;
  if (!ParseNumber(text, &v) || v > 0xFFFFFFFFu) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

// "A:B" or "A:B:C" into numbers.
bool ParseFields(const char* text, uint32_t* fields, int count) {
  std::string s(text ? text : "");
  for (int i = 0; i < count; i++) {
    size_t colon = s.find(':');
    if ((colon == std::string::npos) != (i == count - 1)) return false;
    if (!Number32(s.substr(0, colon).c_str(), &fields[i])) return false;
    if (colon != std::string::npos) s.erase(0, colon + 1);
  }
  return true;
}

// "use", "administer", "local" (a print server's printer, reached only as \\server\name),
// joined by commas, into STORE_DENY_ bits.
bool ParseRights(const char* text, uint32_t* out) {
  std::string s(text ? text : "");
  *out = 0;
  size_t at = 0;
  while (at <= s.size()) {
    size_t comma = s.find(',', at);
    std::string word = s.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    if (word == "use")
      *out |= STORE_DENY_USE;
    else if (word == "administer")
      *out |= STORE_DENY_ADMINISTER;
    else if (word == "local")
      *out |= STORE_DENY_LOCAL;
    else
      return false;
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return true;
}

int StepKindNamed(const char* word) {
  for (int i = 0; i < STEP_KIND_COUNT; i++) {
    if (strcmp(word, StepNames[i]) == 0) return i;
  }
  return -1;
}

bool Bad(const char* what, const char* word) {
  fprintf(stderr, "qvlspool: %s '%s'\n", what, word ? word : "");
  return false;
}

// Reads the steps in words[i..]; each step word takes the options that follow it.
bool ParseSteps(const std::vector<std::string>& words, size_t i, std::vector<Step>* steps) {
  while (i < words.size()) {
    int kind = StepKindNamed(words[i].c_str());
    if (kind < 0) return Bad("unknown step", words[i].c_str());
    Step s = {};
    s.kind = static_cast<StepKind>(kind);
    s.level = 1;
    s.pageBytes = 2048;
    s.chunk = 4096;
    s.ms = s.kind == STEP_WAIT_IDLE || s.kind == STEP_WAIT_STATUS ? 30000 : 0;
    i++;
    if (s.kind == STEP_WAIT || s.kind == STEP_WAIT_STATUS) {
      uint32_t* target = s.kind == STEP_WAIT ? &s.ms : &s.status;
      if (i >= words.size() || !Number32(words[i].c_str(), target)) {
        return Bad("a number is missing after", StepNames[kind]);
      }
      i++;
    }
    if (s.kind == STEP_PORT || s.kind == STEP_RENAME) {
      if (i >= words.size()) return Bad("a name is missing after", StepNames[kind]);
      (s.kind == STEP_PORT ? s.port : s.printer) = words[i++];
    }
    while (i < words.size() && words[i].compare(0, 2, "--") == 0) {
      const std::string& o = words[i];
      if (i + 1 >= words.size()) return Bad("missing value for", o.c_str());
      const char* v = words[i + 1].c_str();
      bool ok = true;
      if (o == "--job-id")
        ok = Number32(v, &s.jobId);
      else if (o == "--level")
        ok = Number32(v, &s.level) && (s.level == 1 || s.level == 2);
      else if (o == "--mode")
        ok = Number32(v, &s.mode);
      else if (o == "--document")
        s.document = v;
      else if (o == "--owner")
        s.owner = v;
      else if (o == "--machine")
        s.machine = v;
      else if (o == "--sequence" && s.kind == STEP_DRUM_RESET)
        ok = Number32(v, &s.sequence) && s.sequence != 0;
      else if (o == "--deny" && s.kind == STEP_PORT)
        ok = ParseRights(v, &s.deny);
      else if (o == "--pages")
        ok = Number32(v, &s.pages);
      else if (o == "--page-bytes")
        ok = Number32(v, &s.pageBytes);
      else if (o == "--size")
        ok = ParseNumber(v, &s.size);
      else if (o == "--file")
        s.file = v;
      else if (o == "--text")
        s.text = v;
      else if (o == "--chunk")
        ok = Number32(v, &s.chunk) && s.chunk > 0;
      else if (o == "--timeout")
        ok = Number32(v, &s.ms);
      else if (o == "--control")
        ok = Number32(v, &s.control);
      else if (o == "--printer" && s.kind == STEP_PORT)
        s.printer = v;
      else if (o == "--scenario" && s.kind == STEP_PORT)
        s.scenario = v;
      else if (o == "--end-doc-ms" && s.kind == STEP_PORT)
        ok = Number32(v, &s.endDocMs);
      else
        return Bad("unknown step option", o.c_str());
      if (!ok) return Bad("bad value for", o.c_str());
      i += 2;
    }
    steps->push_back(s);
  }
  return true;
}

// Splits a script line into words; double quotes group words, '#' starts a comment.
void SplitLine(const std::string& line, std::vector<std::string>* words) {
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) i++;
    if (i >= line.size() || line[i] == '#') return;
    std::string word;
    bool quoted = false;
    for (; i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t' && line[i] != '\r'));
         i++) {
      if (line[i] == '"') {
        quoted = !quoted;
      } else {
        word.push_back(line[i]);
      }
    }
    words->push_back(word);
  }
}

bool ReadScript(const char* path, std::vector<std::string>* words) {
  FILE* f = fopen(path, "rb");
  if (!f) return Bad("cannot read script", path);
  std::string line;
  int c;
  while ((c = fgetc(f)) != EOF) {
    if (c == '\n') {
      SplitLine(line, words);
      line.clear();
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  SplitLine(line, words);
  fclose(f);
  return true;
}

}  // namespace

const char* StepName(StepKind kind) {
  return StepNames[kind];
}

void PrintUsage(FILE* to) {
  fputs(USAGE, to);
}

bool WantsHelp(int argc, char** argv) {
  if (argc < 2) return false;
  if (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "/?") == 0 || strcmp(argv[1], "help") == 0) {
    return true;
  }
  for (int i = 1; i < argc && strncmp(argv[i], "--", 2) == 0; i++) {
    if (strcmp(argv[i], "--help") == 0) return true;
  }
  return false;
}

bool ParseCommandLine(int argc, char** argv, SpoolOptions* o, std::vector<Step>* steps) {
  std::vector<std::string> words;
  int i = 1;
  if (i < argc && strcmp(argv[i], "bench") == 0) {
    o->bench = true;
    i++;
  }
  for (; i < argc && strncmp(argv[i], "--", 2) == 0; i++) {
    std::string a = argv[i];
    bool flag = true;
    if (a == "--direct")
      o->direct = true;
    else if (a == "--nt")
      o->nt = true;
    else if (a == "--fail-registry")
      o->failRegistry = true;
    else if (a == "--json")
      o->json = true;
    else if (a == "--bytes")
      o->bytes = true;
    else if (a == "--watch-display")
      o->watchDisplay = true;
    else if (a == "--no-printer-events")
      o->printerEvents = false;
    else if (a == "--lenient-job-reports")
      o->lenientJobReports = true;
    else if (a == "--nested-job-reports")
      o->nestedJobReports = true;
    else
      flag = false;
    if (flag) continue;
    // The option is named as unknown before its value is missed: "--help" or "--bogus" last.
    const bool hasValue = i + 1 < argc;
    const char* v = hasValue ? argv[i + 1] : "";
    bool ok = true, known = true;
    if (a == "--dll")
      o->dll = v;
    else if (a == "--port")
      o->port = v;
    else if (a == "--printer")
      o->printer = v;
    else if (a == "--scenario")
      o->scenario = v;
    else if (a == "--page-ms")
      ok = Number32(v, &o->pageMs);
    else if (a == "--device-id")
      o->deviceId = v;
    else if (a == "--registry-root")
      o->registryRoot = v;
    else if (a == "--cluster")
      o->cluster = v;
    else if (a == "--deny")
      ok = ParseRights(v, &o->deny);
    else if (a == "--connection") {
      std::string c = v;
      size_t slash = c.find('\\', 2);
      ok = c.compare(0, 2, "\\\\") == 0 && slash != std::string::npos && slash > 2 &&
           slash + 1 < c.size();
      o->connections.push_back(c);
    } else if (a == "--port-kind")
      ok = o->portKindGiven = PortKindNamed(v, &o->portKind);
    else if (a == "--write-timeout")
      ok = Number32(v, &o->writeTimeoutMs);
    else if (a == "--size" && o->bench)
      ok = ParseNumber(v, &o->benchSize) && o->benchSize > 0;
    else if (a == "--chunk" && o->bench)
      ok = Number32(v, &o->benchChunk) && o->benchChunk > 0;
    else if (a == "--script")
      ok = hasValue && ReadScript(v, &words);
    else if (a == "--short-writes") {
      uint32_t f[3];
      ok = ParseFields(v, f, 3);
      o->faults.shortWriteFrom = f[0], o->faults.shortWriteCount = f[1];
      o->faults.shortWriteLimit = f[2];
    } else if (a == "--fail-reads") {
      uint32_t f[2];
      ok = ParseFields(v, f, 2);
      o->faults.readFailFrom = f[0], o->faults.readFailCount = f[1];
    } else {
      known = false;
    }
    if (!known) return Bad("unknown option", argv[i]);
    if (!hasValue) return Bad("missing value for", argv[i]);
    i++;
    if (!ok) return Bad("bad value for", argv[i - 1]);
  }
  for (; i < argc; i++) words.push_back(argv[i]);
  if (o->bench && !words.empty()) return Bad("bench takes no steps:", words[0].c_str());
  if (!o->nt && (o->portKindGiven || o->failRegistry || !o->cluster.empty())) {
    return Bad("only with --nt:", o->portKindGiven  ? "--port-kind"
                                  : o->failRegistry ? "--fail-registry"
                                                    : "--cluster");
  }
  if (!ParseSteps(words, 0, steps)) return false;
  for (size_t k = 0; k < steps->size(); k++) {
    if ((*steps)[k].kind == STEP_SHUTDOWN && (!o->nt || k + 1 != steps->size())) {
      return Bad("shutdown is the last step, and only with", "--nt");
    }
  }
  return true;
}
