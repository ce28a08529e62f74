#include "spool_run.h"

#include <winspool.h>
#include <stdio.h>
#include <usbprint.h>
#include <string.h>

#include <string>

#include "display_link.h"
#include "emu_port_monitor.h"
#include "job_data.h"
#include "port_trace.h"
#include "printer_reader.h"
#include "printers.h"
#include "session_link.h"
#include "timeline.h"
#include "wide_text.h"

namespace {

// One port of the run: the run's own (--port, --printer) and those a port step names.
struct RunPort {
  std::string name;
  std::string printer;
  HANDLE handle = NULL;
  bool open = false;
  bool inJob = false;
  uint32_t lastJobId = 0;
  // emu: what the port step gave for the port's printer; used when the port opens
  const Scenario* scenario = NULL;
  uint32_t endDocMs = 0;
};

const size_t kMaxRunPorts = 4;

struct RunState {
  const SpoolOptions* options;
  SpoolCalls* calls;
  RunPort ports[kMaxRunPorts];
  size_t portCount;
  RunPort* port;  // the port the steps go to
  bool shutDown;  // the monitor has had its Shutdown: no more calls
};

void StartRunState(RunState* s, const SpoolOptions* options, SpoolCalls* calls) {
  s->options = options;
  s->calls = calls;
  s->portCount = 1;
  s->port = &s->ports[0];
  s->ports[0].name = options->port;
  s->ports[0].printer = options->printer;
  s->shutDown = false;
}

// The spooler keeps jobs and hears of their end: an NT language monitor in the path.
bool SpoolerKeepsJobs(const RunState* s) {
  return s->calls->Nt() && !s->calls->direct;
}

void OpRecord(TimelineRecord* r, const char* op) {
  RecordBegin(r, "op");
  RecordString(r, "op", op);
}

void OpEnd(TimelineRecord* r, BOOL result, DWORD error) {
  RecordNumber(r, "result", result);
  if (!result) RecordNumber(r, "error", error);
  RecordEnd(r);
}

bool OpenPort(RunState* s) {
  RunPort* p = s->port;
  if (p->open) return true;
  const std::string &port = p->name, &printer = p->printer;
  // A port of a port step gets its own printer's settings; the run's for the rest.
  const EmuPortOptions runOptions = EmuPortConfiguration();
  if (p->scenario || p->endDocMs) {
    EmuPortOptions own = runOptions;
    if (p->scenario) own.scenario = p->scenario;
    own.endDocMs = p->endDocMs;
    EmuPortConfigure(&own);
  }
  HANDLE handle = NULL;
  SetLastError(0);
  const DWORD start = GetTickCount();
  BOOL ok = s->calls->OpenPort(port, printer, &handle);
  DWORD error = GetLastError();
  const DWORD ms = GetTickCount() - start;
  EmuPortConfigure(&runOptions);
  TimelineRecord r;
  OpRecord(&r, s->calls->direct ? "OpenPort" : "OpenPortEx");
  RecordString(&r, "port", port.c_str());
  RecordString(&r, "printer", printer.c_str());
  RecordNumber(&r, "ms", ms);
  OpEnd(&r, ok, error);
  p->open = ok != FALSE;
  p->handle = handle;
  return p->open;
}

// The port step: the steps after it go to the port named; a port not named before is added.
// Its options set up a port not yet opened (the run's own port too).
bool UsePort(RunState* s, const Step& step) {
  RunPort* p = NULL;
  for (size_t i = 0; i < s->portCount && !p; ++i) {
    if (s->ports[i].name == step.port) p = &s->ports[i];
  }
  if (p == NULL) {
    if (s->portCount == kMaxRunPorts || _strnicmp(step.port.c_str(), "emu:", 4) != 0 ||
        _strnicmp(s->options->port.c_str(), "emu:", 4) != 0) {
      fprintf(stderr, "qvlspool: port %s: at most %u emu: ports in a run of emu: ports\n",
              step.port.c_str(), static_cast<unsigned>(kMaxRunPorts));
      return false;
    }
    p = &s->ports[s->portCount++];
    p->name = step.port;
    p->printer = s->options->printer;
  }
  s->port = p;
  if (p->open) return true;
  if (!step.printer.empty()) p->printer = step.printer;
  if (step.endDocMs) p->endDocMs = step.endDocMs;
  if (!step.scenario.empty()) {
    Scenario* scenario = new Scenario();  // kept for the run: the printer copies it at open
    char error[SCENARIO_ERROR_ROOM + 256];
    if (!LoadScenarioFile(step.scenario.c_str(), scenario, error, sizeof error)) {
      fprintf(stderr, "qvlspool: %s\n", error);
      return false;
    }
    p->scenario = scenario;
  }
  AddPrinter(p->printer.c_str(), step.deny);  // registered at start already, as a rule
  return true;
}

bool StartDoc(RunState* s, const Step& step) {
  if (!OpenPort(s)) return false;
  uint32_t jobId = step.jobId ? step.jobId : s->port->lastJobId + 1;
  s->port->lastJobId = jobId;
  const std::string& printer = s->port->printer;
  std::string document = step.document.empty() ? "QVL test job" : step.document;
  if (SpoolerKeepsJobs(s)) {
    const PrinterJob job = {jobId, step.kind == STEP_JOB ? step.pages : 0, document.c_str(),
                            step.owner.c_str(), step.machine.c_str()};
    PrinterJobAdded(printer.c_str(), job);
  }
  SetLastError(0);
  const DWORD start = GetTickCount();
  BOOL ok = s->calls->StartDoc(s->port->handle, printer, jobId, step.level, document, step.mode);
  DWORD error = GetLastError();
  const DWORD ms = GetTickCount() - start;
  TimelineRecord r;
  OpRecord(&r, "StartDocPort");
  RecordNumber(&r, "job", jobId);
  RecordNumber(&r, "level", step.level);
  if (step.level == 2) RecordNumber(&r, "mode", step.mode);
  if (s->portCount > 1) RecordString(&r, "port", s->port->name.c_str());
  RecordNumber(&r, "ms", ms);
  OpEnd(&r, ok, error);
  if (ok) s->port->inJob = true;
  return ok != FALSE;
}

// Writes all of data in chunks, as the spooler does: what the port does not take is offered
// again; a port that takes nothing is asked again every 100 ms until the write time-out.
bool WriteAll(RunState* s, const std::string& data, uint32_t chunk) {
  if (!OpenPort(s)) return false;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data.data());
  PortTraceSetJobBuffer(bytes, data.size());
  size_t done = 0;
  DWORD lastProgress = GetTickCount(), lastShown = 0;
  bool ok = true;
  while (done < data.size()) {
    DWORD n = static_cast<DWORD>(data.size() - done < chunk ? data.size() - done : chunk);
    DWORD written = 0;
    SetLastError(0);
    BOOL result = s->calls->Write(s->port->handle, bytes + done, n, &written);
    DWORD error = GetLastError();
    if (s->options->json || !result || written == 0) {
      TimelineRecord r;
      OpRecord(&r, "WritePort");
      RecordNumber(&r, "count", n);
      RecordNumber(&r, "written", written);
      OpEnd(&r, result, error);
    }
    if (written > n) written = n;  // never trust a port beyond what it was given
    done += written;
    DWORD now = GetTickCount();
    if (written) {
      lastProgress = now;
    } else if (now - lastProgress > s->options->writeTimeoutMs) {
      ok = false;
      break;
    } else {
      Sleep(100);
    }
    if (data.size() >= (1u << 20) && now - lastShown >= 500) {
      char line[96];
      snprintf(line, sizeof line, "  %.1f of %.1f MiB written", done / 1048576.0,
               data.size() / 1048576.0);
      TimelineProgress(line);
      lastShown = now;
    }
  }
  PortTraceSetJobBuffer(NULL, 0);
  TimelineRecord r;
  RecordBegin(&r, "written");
  RecordNumber(&r, "bytes", static_cast<long long>(done));
  RecordNumber(&r, "of", static_cast<long long>(data.size()));
  RecordNumber(&r, "result", ok);
  RecordEnd(&r);
  return ok;
}

void EndDoc(RunState* s) {
  if (!s->port->open) return;
  const DWORD start = GetTickCount();
  BOOL ok = s->calls->EndDoc(s->port->handle);
  DWORD error = GetLastError();
  const DWORD ms = GetTickCount() - start;
  TimelineRecord r;
  OpRecord(&r, "EndDocPort");
  if (s->portCount > 1) RecordString(&r, "port", s->port->name.c_str());
  RecordNumber(&r, "ms", ms);
  OpEnd(&r, ok, error);
  s->port->inJob = false;
}

void ClosePort(RunState* s) {
  if (!s->port->open) return;
  if (s->port->inJob) EndDoc(s);
  BOOL ok = s->calls->Close(s->port->handle);
  DWORD error = GetLastError();
  TimelineRecord r;
  OpRecord(&r, "ClosePort");
  if (s->portCount > 1) RecordString(&r, "port", s->port->name.c_str());
  OpEnd(&r, ok, error);
  s->port->open = false;
}

// Every port of the run, the current one last.
void CloseAllPorts(RunState* s) {
  RunPort* current = s->port;
  for (size_t i = 0; i < s->portCount; ++i) {
    if (&s->ports[i] == current) continue;
    s->port = &s->ports[i];
    ClosePort(s);
  }
  s->port = current;
  ClosePort(s);
}

void QueryMemory(RunState* s) {
  if (!OpenPort(s)) return;
  const char* names[] = {"Installed Memory", "Available Memory"};
  for (const char* name : names) {
    DWORD value = 0, returned = 0;
    SetLastError(0);
    BOOL ok = s->calls->GetData(s->port->handle, 0, name, &value, sizeof value, &returned);
    DWORD error = GetLastError();
    TimelineRecord r;
    OpRecord(&r, "GetPrinterDataFromPort");
    RecordNumber(&r, "control", 0);
    RecordString(&r, "name", name);
    if (ok) RecordNumber(&r, "value", value);
    RecordNumber(&r, "returned", returned);
    OpEnd(&r, ok, error);
  }
}

// Windows 95: control id 17, the answer a text. NT: a device I/O control code (by default the
// USB port's), the answer the bytes the port gave.
void QueryDeviceId(RunState* s, const Step& step) {
  if (!OpenPort(s)) return;
  bool nt = s->calls->Nt();
  DWORD control = step.control ? step.control
                  : nt         ? static_cast<DWORD>(IOCTL_USBPRINT_GET_1284_ID)
                               : static_cast<DWORD>(CONTROL_ID_DEVICE_ID);
  char id[1024] = "";
  DWORD returned = 0;
  SetLastError(0);
  BOOL ok = s->calls->GetData(s->port->handle, control, NULL, id, sizeof id - 1, &returned);
  DWORD error = GetLastError();
  TimelineRecord r;
  OpRecord(&r, "GetPrinterDataFromPort");
  if (nt) {
    RecordHex(&r, "control", control);
    if (ok) RecordBytes(&r, "answer", id, returned < sizeof id ? returned : sizeof id, sizeof id);
  } else {
    RecordNumber(&r, "control", control);
    if (ok) RecordString(&r, "answer", id);
  }
  OpEnd(&r, ok, error);
}

void WaitRecord(const char* what, bool met, DWORD started) {
  TimelineRecord r;
  RecordBegin(&r, "wait");
  RecordString(&r, "for", what);
  RecordNumber(&r, "met", met);
  RecordNumber(&r, "ms", GetTickCount() - started);
  RecordEnd(&r);
}

// Until the lower job has ended; with an NT language monitor also until the spooler has heard
// that the last job's last page is out.
void WaitIdle(const RunState* s, uint32_t timeoutMs) {
  DWORD start = GetTickCount();
  bool met = false;
  for (;;) {
    PortTraceCounts c;
    PortTraceGetCounts(&c);
    met = c.endDocs >= c.startDocs;
    if (met && SpoolerKeepsJobs(s) && s->port->lastJobId) {
      met = PrinterJobEjects(s->port->printer.c_str(), s->port->lastJobId) != 0;
    }
    if (met || GetTickCount() - start >= timeoutMs) break;
    Sleep(20);
  }
  WaitRecord("idle", met, start);
}

void WaitStatus(const RunState* s, uint32_t status, uint32_t timeoutMs) {
  DWORD start = GetTickCount();
  bool met = false;
  for (;;) {
    met = PrinterStatus(s->port->printer.c_str()) == status;
    if (met || GetTickCount() - start >= timeoutMs) break;
    Sleep(20);
  }
  char what[32];
  snprintf(what, sizeof what, "status 0x%08lx", static_cast<unsigned long>(status));
  WaitRecord(what, met, start);
}

void Remedy(const RunState* s) {
  TimelineRecord r;
  RecordBegin(&r, "remedy");
  RecordNumber(&r, "cleared", EmuPortRemedy(s->port->name.c_str()));
  RecordEnd(&r);
}

// The user renames the port's printer; the spooler passes the new name from the next job on.
void Rename(RunState* s, const std::string& name) {
  const bool ok = RenamePrinter(s->port->printer.c_str(), name.c_str());
  TimelineRecord r;
  RecordBegin(&r, "rename");
  RecordString(&r, "from", s->port->printer.c_str());
  RecordString(&r, "to", name.c_str());
  RecordNumber(&r, "result", ok);
  RecordEnd(&r);
  if (ok) s->port->printer = name;
}

// The spooler's last call into an NT monitor, which has to return quickly; the port is left as
// it is (no EndDocPort, no ClosePort: the monitor ends what it has).
void Shutdown(RunState* s) {
  DWORD start = GetTickCount();
  if (!s->calls->Shutdown()) return;
  TimelineRecord r;
  OpRecord(&r, "Shutdown");
  RecordNumber(&r, "ms", GetTickCount() - start);
  RecordEnd(&r);
  s->shutDown = true;
  for (size_t i = 0; i < s->portCount; ++i) s->ports[i].open = false;
}

// NT: what the display program does when the user confirms a new drum, through the spooler as
// any user's program: opens the printer to manage it (refused when --deny says so), reads the
// publication it answers from the Status value and writes its number as the Drum Reset value
// (--sequence: that number instead, a stale request).
void NtDrumRequest(const RunState* s, uint32_t sequence) {
  const std::string& name = s->port->printer;
  std::wstring printer = WideText(name.c_str(), CP_UTF8);
  PRINTER_DEFAULTSW defaults = {NULL, NULL, PRINTER_ACCESS_ADMINISTER};
  HANDLE handle = NULL;
  const char* call = "OpenPrinterW";
  DWORD error = ReaderOpenPrinter(printer.c_str(), &handle, &defaults) ? 0 : GetLastError();
  if (!error && !sequence) {
    SessionStatus status = {};
    DWORD type = 0, needed = 0;
    call = "GetPrinterDataExW";
    error = ReaderGetPrinterDataEx(handle, SESSION_DATA_KEY, SESSION_STATUS_VALUE, &type,
                                   reinterpret_cast<BYTE*>(&status), sizeof status, &needed);
    if (!error && (type != REG_BINARY || needed != sizeof status)) error = ERROR_INVALID_DATA;
    sequence = status.sequence;
  }
  if (!error) {
    call = "SetPrinterDataExW";
    DWORD value = sequence;
    error = ReaderSetPrinterDataEx(handle, SESSION_DATA_KEY, SESSION_DRUM_RESET_VALUE, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
  if (handle) ReaderClosePrinter(handle);
  TimelineRecord r;
  RecordBegin(&r, "drum-request");
  RecordString(&r, "printer", name.c_str());
  RecordNumber(&r, "sequence", sequence);
  RecordNumber(&r, "result", error == 0);
  if (error) {
    RecordString(&r, "call", call);
    RecordNumber(&r, "error", error);
  }
  RecordEnd(&r);
}

// Windows 95: what the display program does when the user confirms a new drum: set the named
// event.
void DrumReset(const RunState* s, const Step& step) {
  if (s->calls->Nt()) {
    NtDrumRequest(s, step.sequence);
    return;
  }
  HANDLE event = OpenEventA(EVENT_ALL_ACCESS, FALSE, DRUM_RESET_EVENT_NAME);
  DWORD error = GetLastError();
  if (event) {
    SetEvent(event);
    CloseHandle(event);
  }
  TimelineRecord r;
  OpRecord(&r, "SetDrumResetEvent");
  OpEnd(&r, event != NULL, error);
}

int RunStep(RunState* s, const Step& step) {
  std::string data, error;
  switch (step.kind) {
    case STEP_OPEN:
      OpenPort(s);
      break;
    case STEP_START:
      StartDoc(s, step);
      break;
    case STEP_WRITE:
    case STEP_JOB:
      if (step.kind == STEP_JOB && !StartDoc(s, step)) break;
      if (!BuildJobData(step, s->port->lastJobId, &data, &error)) {
        fprintf(stderr, "qvlspool: %s\n", error.c_str());
        return 1;
      }
      WriteAll(s, data, step.chunk);
      if (step.kind == STEP_JOB) EndDoc(s);
      break;
    case STEP_END:
      EndDoc(s);
      break;
    case STEP_MEMORY:
      QueryMemory(s);
      break;
    case STEP_DEVICE_ID:
      QueryDeviceId(s, step);
      break;
    case STEP_WAIT:
      Sleep(step.ms);
      break;
    case STEP_WAIT_IDLE:
      WaitIdle(s, step.ms);
      break;
    case STEP_WAIT_STATUS:
      WaitStatus(s, step.status, step.ms);
      break;
    case STEP_REMEDY:
      Remedy(s);
      break;
    case STEP_DRUM_RESET:
      DrumReset(s, step);
      break;
    case STEP_CLOSE:
      ClosePort(s);
      break;
    case STEP_SHUTDOWN:
      Shutdown(s);
      break;
    case STEP_PORT:
      if (!UsePort(s, step)) return 1;
      break;
    case STEP_RENAME:
      Rename(s, step.printer);
      break;
    case STEP_KIND_COUNT:
      break;
  }
  return 0;
}

double MiBPerSecond(uint64_t bytes, DWORD ms) {
  return ms ? bytes / 1048576.0 / (ms / 1000.0) : 0.0;
}

// One generated job of the bench size; returns the milliseconds from StartDocPort to the end of
// the last WritePort, and whether the printer took exactly the expected bytes.
bool BenchOnce(const SpoolOptions& o, SpoolCalls* t, const std::string& data, uint32_t dataCrc,
               const char* path) {
  RunState s;
  StartRunState(&s, &o, t);
  Step start = {};
  start.kind = STEP_START;
  start.jobId = 1;
  start.level = 1;
  if (!StartDoc(&s, start)) {
    ClosePort(&s);
    return false;
  }
  DWORD t0 = GetTickCount();
  bool wrote = WriteAll(&s, data, o.benchChunk);
  DWORD ms = GetTickCount() - t0;
  EndDoc(&s);
  PortTraceCounts c;
  PortTraceGetCounts(&c);
  EmuJobCheck printer = {0, 0};
  EmuPortJobCheck(o.port.c_str(), &printer);  // before ClosePort: the job's figures
  ClosePort(&s);
  bool same = wrote && c.jobBytes == data.size() && c.jobCrc == dataCrc &&
              printer.bytes == c.streamBytes && printer.crc == c.streamCrc &&
              c.streamBytes == c.addedBytes + c.jobBytes;
  TimelineMute(false);
  TimelineRecord r;
  RecordBegin(&r, "bench");
  RecordString(&r, "path", path);
  RecordNumber(&r, "bytes", static_cast<long long>(data.size()));
  RecordNumber(&r, "chunk", o.benchChunk);
  RecordNumber(&r, "ms", ms);
  char rate[32];
  snprintf(rate, sizeof rate, "%.1f", MiBPerSecond(data.size(), ms));
  RecordString(&r, "mib_per_s", rate);
  RecordNumber(&r, "printer_bytes", static_cast<long long>(printer.bytes));
  RecordHex(&r, "printer_crc", printer.crc);
  RecordNumber(&r, "added_bytes", static_cast<long long>(c.addedBytes));
  RecordHex(&r, "job_crc", c.jobCrc);
  RecordHex(&r, "data_crc", dataCrc);
  RecordNumber(&r, "byte_for_byte", same);
  if (SpoolerKeepsJobs(&s))
    RecordNumber(&r, "last_page_ejected", PrinterJobEjects(o.printer.c_str(), 1));
  RecordEnd(&r);
  TimelineMute(true);
  return same;
}

}  // namespace

int RunSteps(const SpoolOptions& options, SpoolCalls* calls, const std::vector<Step>& steps) {
  RunState s;
  StartRunState(&s, &options, calls);
  for (const Step& step : steps) {
    int r = RunStep(&s, step);
    if (r) return r;
  }
  CloseAllPorts(&s);
  if (!s.shutDown) Shutdown(&s);
  return 0;
}

int RunBench(const SpoolOptions& options, SpoolCalls* viaMonitor, SpoolCalls* direct) {
  std::string data;
  data.resize(options.benchSize);
  FillGenerated(reinterpret_cast<uint8_t*>(&data[0]), data.size(), 1);
  uint32_t crc = Crc32(0, data.data(), data.size());
  TimelineMute(true);  // per-write records would measure the console
  bool a = BenchOnce(options, viaMonitor, data, crc, "language-monitor");
  bool b = BenchOnce(options, direct, data, crc, "port-monitor");
  TimelineMute(false);
  RunState s;
  StartRunState(&s, &options, viaMonitor);
  Shutdown(&s);
  return a && b ? 0 : 1;
}
