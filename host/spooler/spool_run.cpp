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
#include "printers.h"
#include "session_drum.h"
#include "timeline.h"

namespace {

struct RunState {
  const SpoolOptions* options;
  SpoolCalls* calls;
  HANDLE port;
  bool portOpen;
  bool inJob;
  uint32_t lastJobId;
  bool shutDown;  // the monitor has had its Shutdown: no more calls
};

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
  if (s->portOpen) return true;
  const std::string &port = s->options->port, &printer = s->options->printer;
  HANDLE handle = NULL;
  SetLastError(0);
  BOOL ok = s->calls->OpenPort(port, printer, &handle);
  DWORD error = GetLastError();
  TimelineRecord r;
  OpRecord(&r, s->calls->direct ? "OpenPort" : "OpenPortEx");
  RecordString(&r, "port", port.c_str());
  RecordString(&r, "printer", printer.c_str());
  OpEnd(&r, ok, error);
  s->portOpen = ok != FALSE;
  s->port = handle;
  return s->portOpen;
}

bool StartDoc(RunState* s, const Step& step) {
  if (!OpenPort(s)) return false;
  uint32_t jobId = step.jobId ? step.jobId : s->lastJobId + 1;
  s->lastJobId = jobId;
  const std::string& printer = s->options->printer;
  std::string document = step.document.empty() ? "QVL test job" : step.document;
  if (SpoolerKeepsJobs(s)) PrinterJobAdded(printer.c_str(), jobId);
  SetLastError(0);
  BOOL ok = s->calls->StartDoc(s->port, printer, jobId, step.level, document, step.mode);
  DWORD error = GetLastError();
  TimelineRecord r;
  OpRecord(&r, "StartDocPort");
  RecordNumber(&r, "job", jobId);
  RecordNumber(&r, "level", step.level);
  if (step.level == 2) RecordNumber(&r, "mode", step.mode);
  OpEnd(&r, ok, error);
  if (ok) s->inJob = true;
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
    BOOL result = s->calls->Write(s->port, bytes + done, n, &written);
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
  if (!s->portOpen) return;
  BOOL ok = s->calls->EndDoc(s->port);
  DWORD error = GetLastError();
  TimelineRecord r;
  OpRecord(&r, "EndDocPort");
  OpEnd(&r, ok, error);
  s->inJob = false;
}

void ClosePort(RunState* s) {
  if (!s->portOpen) return;
  if (s->inJob) EndDoc(s);
  BOOL ok = s->calls->Close(s->port);
  DWORD error = GetLastError();
  TimelineRecord r;
  OpRecord(&r, "ClosePort");
  OpEnd(&r, ok, error);
  s->portOpen = false;
}

void QueryMemory(RunState* s) {
  if (!OpenPort(s)) return;
  const char* names[] = {"Installed Memory", "Available Memory"};
  for (const char* name : names) {
    DWORD value = 0, returned = 0;
    SetLastError(0);
    BOOL ok = s->calls->GetData(s->port, 0, name, &value, sizeof value, &returned);
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
  BOOL ok = s->calls->GetData(s->port, control, NULL, id, sizeof id - 1, &returned);
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
    if (met && SpoolerKeepsJobs(s) && s->lastJobId) {
      met = PrinterJobEjects(s->options->printer.c_str(), s->lastJobId) != 0;
    }
    if (met || GetTickCount() - start >= timeoutMs) break;
    Sleep(20);
  }
  WaitRecord("idle", met, start);
}

void WaitStatus(const SpoolOptions& o, uint32_t status, uint32_t timeoutMs) {
  DWORD start = GetTickCount();
  bool met = false;
  for (;;) {
    met = PrinterStatus(o.printer.c_str()) == status;
    if (met || GetTickCount() - start >= timeoutMs) break;
    Sleep(20);
  }
  char what[32];
  snprintf(what, sizeof what, "status 0x%08lx", static_cast<unsigned long>(status));
  WaitRecord(what, met, start);
}

void Remedy(const SpoolOptions& o) {
  TimelineRecord r;
  RecordBegin(&r, "remedy");
  RecordNumber(&r, "cleared", EmuPortRemedy(o.port.c_str()));
  RecordEnd(&r);
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
  s->portOpen = false;
}

// What the display program does when the user confirms a new drum: set the named event (NT:
// the event of the printer's port slot on the monitor's status board).
void DrumReset(const RunState* s) {
  bool set;
  DWORD error;
  if (s->calls->Nt()) {
    set = SetSessionDrumResetEvents(s->options->printer.c_str()) != 0;
    error = GetLastError();
  } else {
    HANDLE event = OpenEventA(EVENT_ALL_ACCESS, FALSE, DRUM_RESET_EVENT_NAME);
    error = GetLastError();
    if (event) {
      SetEvent(event);
      CloseHandle(event);
    }
    set = event != NULL;
  }
  TimelineRecord r;
  OpRecord(&r, "SetDrumResetEvent");
  OpEnd(&r, set, error);
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
      if (!BuildJobData(step, s->lastJobId, &data, &error)) {
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
      WaitStatus(*s->options, step.status, step.ms);
      break;
    case STEP_REMEDY:
      Remedy(*s->options);
      break;
    case STEP_DRUM_RESET:
      DrumReset(s);
      break;
    case STEP_CLOSE:
      ClosePort(s);
      break;
    case STEP_SHUTDOWN:
      Shutdown(s);
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
  RunState s = {&o, t, NULL, false, false, 0, false};
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
  RunState s = {&options, calls, NULL, false, false, 0, false};
  for (const Step& step : steps) {
    int r = RunStep(&s, step);
    if (r) return r;
  }
  ClosePort(&s);
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
  RunState s = {&options, viaMonitor, NULL, false, false, 0, false};
  Shutdown(&s);
  return a && b ? 0 : 1;
}
