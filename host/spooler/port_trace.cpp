#include "port_trace.h"

#include <string.h>

#include <string>

#include "emu_port_monitor.h"
#include "timeline.h"

namespace {

enum { NAME_ROOM = 64, WRITE_SHOWN = 256, REPLY_SHOWN = 1024 };

struct TracedPort {
  HANDLE lower;
  char name[NAME_ROOM];
  std::string replyTail;  // bytes of a reply whose form feed has not come yet
};

MONITOR* Lower = NULL;
PortFaults Faults = {};
bool NtControls = false;
CRITICAL_SECTION Lock;  // counts, fault numbering, the reply tail
LONG Writes = 0, Reads = 0;
PortTraceCounts Counts = {};
const uint8_t* JobStart = NULL;
size_t JobLength = 0;

const char DRUM_COMMAND_HEAD[] = "\x1b\x1b";  // ESC ESC NUL, then the body and ';'

void PortRecord(const char* call, const TracedPort* p, BOOL result, DWORD error) {
  TimelineRecord r;
  RecordBegin(&r, "port");
  RecordString(&r, "call", call);
  RecordString(&r, "port", p ? p->name : "");
  RecordNumber(&r, "result", result);
  if (!result) RecordNumber(&r, "error", error);
  RecordEnd(&r);
}

bool InJobBuffer(const void* data) {
  const uint8_t* b = static_cast<const uint8_t*>(data);
  return JobStart && b >= JobStart && b < JobStart + JobLength;
}

BOOL WINAPI TraceOpenPort(LPSTR name, PHANDLE handle) {
  TracedPort* p = new TracedPort();
  lstrcpynA(p->name, name ? name : "", NAME_ROOM);
  BOOL ok = Lower->pfnOpenPort(name, &p->lower);
  DWORD error = GetLastError();
  PortRecord("OpenPort", p, ok, error);
  if (!ok) {
    delete p;
    SetLastError(error);
    return FALSE;
  }
  *handle = p;
  return TRUE;
}

BOOL WINAPI TraceStartDocPort(HANDLE handle, LPSTR printer, DWORD jobId, DWORD level, LPBYTE info) {
  TracedPort* p = static_cast<TracedPort*>(handle);
  BOOL ok = Lower->pfnStartDocPort(p->lower, printer, jobId, level, info);
  DWORD error = GetLastError();
  EnterCriticalSection(&Lock);
  if (ok) {
    Counts.startDocs++;
    Counts.jobBytes = Counts.addedBytes = Counts.streamBytes = 0;
    Counts.jobCrc = Counts.streamCrc = 0;
  }
  LeaveCriticalSection(&Lock);
  TimelineRecord r;
  RecordBegin(&r, "port");
  RecordString(&r, "call", "StartDocPort");
  RecordString(&r, "port", p->name);
  RecordNumber(&r, "job", jobId);
  RecordNumber(&r, "level", level);
  RecordNumber(&r, "result", ok);
  if (!ok) RecordNumber(&r, "error", error);
  RecordEnd(&r);
  SetLastError(error);
  return ok;
}

BOOL WINAPI TraceWritePort(HANDLE handle, LPBYTE data, DWORD count, LPDWORD written) {
  TracedPort* p = static_cast<TracedPort*>(handle);
  uint32_t n = static_cast<uint32_t>(InterlockedIncrement(&Writes));
  DWORD asked = count;
  bool faulty = n >= Faults.shortWriteFrom && n - Faults.shortWriteFrom < Faults.shortWriteCount;
  if (faulty && asked > Faults.shortWriteLimit) asked = Faults.shortWriteLimit;
  BOOL ok = TRUE;
  *written = 0;
  if (asked) ok = Lower->pfnWritePort(p->lower, data, asked, written);
  DWORD error = GetLastError();
  DWORD took = *written;
  bool fromJob = InJobBuffer(data);
  EnterCriticalSection(&Lock);
  Counts.streamBytes += took;
  Counts.streamCrc = Crc32(Counts.streamCrc, data, took);
  if (fromJob) {
    Counts.jobBytes += took;
    Counts.jobCrc = Crc32(Counts.jobCrc, data, took);
  } else {
    Counts.addedBytes += took;
  }
  LeaveCriticalSection(&Lock);
  TimelineRecord r;
  RecordBegin(&r, "write");
  RecordString(&r, "from", fromJob ? "job" : "monitor");
  RecordNumber(&r, "count", count);
  RecordNumber(&r, "written", took);
  RecordNumber(&r, "result", ok);
  if (!ok) RecordNumber(&r, "error", error);
  if (faulty) RecordNumber(&r, "fault", Faults.shortWriteLimit);
  if (TimelineWantsBytes() || !fromJob) RecordBytes(&r, "bytes", data, took, WRITE_SHOWN);
  RecordEnd(&r);
  if (!fromJob && took == count && count > 3 && memcmp(data, DRUM_COMMAND_HEAD, 3) == 0) {
    TimelineRecord d;
    RecordBegin(&d, "drum-reset");
    RecordString(&d, "port", p->name);
    RecordBytes(&d, "command", data, count, 64);
    RecordEnd(&d);
  }
  SetLastError(error);
  return ok;
}

BOOL WINAPI TraceReadPort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD read) {
  TracedPort* p = static_cast<TracedPort*>(handle);
  uint32_t n = static_cast<uint32_t>(InterlockedIncrement(&Reads));
  if (n >= Faults.readFailFrom && n - Faults.readFailFrom < Faults.readFailCount) {
    *read = 0;
    PortRecord("ReadPort", p, FALSE, ERROR_IO_DEVICE);
    SetLastError(ERROR_IO_DEVICE);
    return FALSE;
  }
  BOOL ok = Lower->pfnReadPort(p->lower, buffer, size, read);
  DWORD error = GetLastError();
  if (!ok) PortRecord("ReadPort", p, FALSE, error);
  if (ok && *read) {
    // One record per complete reply, whatever pieces the port delivered it in.
    EnterCriticalSection(&Lock);
    p->replyTail.append(reinterpret_cast<const char*>(buffer), *read);
    size_t ff;
    while ((ff = p->replyTail.find('\f')) != std::string::npos) {
      TimelineRecord r;
      RecordBegin(&r, "reply");
      RecordBytes(&r, "text", p->replyTail.data(), ff + 1, REPLY_SHOWN);
      RecordEnd(&r);
      p->replyTail.erase(0, ff + 1);
    }
    LeaveCriticalSection(&Lock);
  }
  SetLastError(error);
  return ok;
}

BOOL WINAPI TraceEndDocPort(HANDLE handle) {
  TracedPort* p = static_cast<TracedPort*>(handle);
  BOOL ok = Lower->pfnEndDocPort(p->lower);
  DWORD error = GetLastError();
  EnterCriticalSection(&Lock);
  Counts.endDocs++;
  LeaveCriticalSection(&Lock);
  PortRecord("EndDocPort", p, ok, error);
  return ok;
}

BOOL WINAPI TraceClosePort(HANDLE handle) {
  TracedPort* p = static_cast<TracedPort*>(handle);
  BOOL ok = Lower->pfnClosePort(p->lower);
  PortRecord("ClosePort", p, ok, GetLastError());
  delete p;
  return ok;
}

BOOL WINAPI TraceGetPrinterDataFromPort(HANDLE handle, DWORD controlId, LPSTR name, LPSTR in,
                                        DWORD inSize, LPSTR out, DWORD outSize, LPDWORD returned) {
  TracedPort* p = static_cast<TracedPort*>(handle);
  BOOL ok = Lower->pfnGetPrinterDataFromPort(p->lower, controlId, name, in, inSize, out, outSize,
                                             returned);
  DWORD error = GetLastError();
  TimelineRecord r;
  RecordBegin(&r, "port");
  RecordString(&r, "call", "GetPrinterDataFromPort");
  RecordString(&r, "port", p->name);
  if (NtControls) {
    RecordHex(&r, "control", controlId);
  } else {
    RecordNumber(&r, "control", controlId);
  }
  RecordNumber(&r, "result", ok);
  if (!ok) RecordNumber(&r, "error", error);
  if (ok && out && returned && *returned <= outSize)
    RecordBytes(&r, "answer", out, *returned, 1024);
  RecordEnd(&r);
  SetLastError(error);
  return ok;
}

BOOL WINAPI TraceSetPortTimeOuts(HANDLE handle, LPCOMMTIMEOUTS timeouts, DWORD reserved) {
  TracedPort* p = static_cast<TracedPort*>(handle);
  BOOL ok = Lower->pfnSetPortTimeOuts(p->lower, timeouts, reserved);
  DWORD error = GetLastError();
  TimelineRecord r;
  RecordBegin(&r, "port");
  RecordString(&r, "call", "SetPortTimeOuts");
  RecordString(&r, "port", p->name);
  if (timeouts) RecordNumber(&r, "write_ms", timeouts->WriteTotalTimeoutConstant);
  RecordNumber(&r, "result", ok);
  if (!ok) RecordNumber(&r, "error", error);
  RecordEnd(&r);
  SetLastError(error);
  return ok;
}

MONITOR Table = {
    NULL,                         // EnumPorts
    TraceOpenPort,                // OpenPort
    NULL,                         // OpenPortEx: a port monitor has none
    TraceStartDocPort,            // StartDocPort
    TraceWritePort,               // WritePort
    TraceReadPort,                // ReadPort
    TraceEndDocPort,              // EndDocPort
    TraceClosePort,               // ClosePort
    NULL,                         // AddPort
    NULL,                         // ConfigurePort
    NULL,                         // DeletePort
    TraceGetPrinterDataFromPort,  // GetPrinterDataFromPort
    NULL,                         // SetPortTimeOuts: set to the tracer where lower has one
};

}  // namespace

MONITOR* PortTraceMonitor(MONITOR* lower, const PortFaults* faults, bool ntControls) {
  InitializeCriticalSection(&Lock);
  Lower = lower;
  Table.pfnSetPortTimeOuts = lower->pfnSetPortTimeOuts ? TraceSetPortTimeOuts : NULL;
  NtControls = ntControls;
  if (faults) Faults = *faults;
  return &Table;
}

void PortTraceSetJobBuffer(const void* start, size_t length) {
  EnterCriticalSection(&Lock);
  JobStart = static_cast<const uint8_t*>(start);
  JobLength = length;
  LeaveCriticalSection(&Lock);
}

void PortTraceGetCounts(PortTraceCounts* out) {
  EnterCriticalSection(&Lock);
  *out = Counts;
  LeaveCriticalSection(&Lock);
}
