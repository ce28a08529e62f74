#include "wait_port.h"

#include <string.h>

namespace {

enum { POLL_MS = 20, WRITE_WAIT_MS = 250, WRITE_STEP_MS = 10 };

struct Port {
  CRITICAL_SECTION lock;  // every call into the printer, and the stamps
  EmulatedPrinter* printer;
  HANDLE pollThread;
  HANDLE stopEvent;
  bool open;
  bool jobOpen;
  bool armed;  // a raised condition's reply has not been read yet
  ReplyStamps stamps;
  uint64_t taken;
};

Port ThePort;
PortKind Kind = PORT_KIND_WIN95;
uint32_t PageMs = 0;

struct ModuleInit {
  ModuleInit() { InitializeCriticalSection(&ThePort.lock); }
} Init;

DWORD WINAPI PollThread(LPVOID) {
  while (WaitForSingleObject(ThePort.stopEvent, POLL_MS) == WAIT_TIMEOUT) {
    EnterCriticalSection(&ThePort.lock);
    EmulatedPrinterPoll(ThePort.printer);
    LeaveCriticalSection(&ThePort.lock);
  }
  return 0;
}

BOOL WINAPI OpenPort(LPSTR name, PHANDLE handle) {
  const PrinterModel* model =
      name && _strnicmp(name, "emu:", 4) == 0 ? FindPrinterModel(name + 4) : NULL;
  if (!model || ThePort.open) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  PrinterConfig config;
  PrinterConfigDefaults(&config, model);
  config.pageMs = PageMs;
  EnterCriticalSection(&ThePort.lock);
  ThePort.printer = EmulatedPrinterCreate(&config);
  EmulatedPrinterConnect(ThePort.printer);
  ThePort.stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
  ThePort.pollThread = CreateThread(NULL, 0, PollThread, NULL, 0, NULL);
  ThePort.open = true;
  ThePort.armed = false;
  ThePort.taken = 0;
  LeaveCriticalSection(&ThePort.lock);
  *handle = &ThePort;
  return TRUE;
}

BOOL WINAPI StartDocPort(HANDLE, LPSTR, DWORD jobId, DWORD, LPBYTE) {
  EnterCriticalSection(&ThePort.lock);
  EmulatedPrinterJobStart(ThePort.printer, jobId);
  ThePort.jobOpen = true;
  LeaveCriticalSection(&ThePort.lock);
  return TRUE;
}

// As the emu: port: a printer that has stopped takes nothing; the port waits a little for
// room, as a port's write time-out would, then reports what was taken.
BOOL WINAPI WritePort(HANDLE, LPBYTE data, DWORD count, LPDWORD written) {
  size_t taken = 0;
  for (DWORD waited = 0;; waited += WRITE_STEP_MS) {
    EnterCriticalSection(&ThePort.lock);
    taken = EmulatedPrinterWrite(ThePort.printer, data, count);
    ThePort.taken += taken;
    const bool last = taken || count == 0 || waited >= WRITE_WAIT_MS;
    if (last && taken == 0 && ThePort.armed && ThePort.stamps.zeroWrite == 0) {
      ThePort.stamps.zeroWrite = NowMs();
    }
    LeaveCriticalSection(&ThePort.lock);
    if (last) break;
    Sleep(WRITE_STEP_MS);
  }
  *written = static_cast<DWORD>(taken);
  return TRUE;
}

BOOL WINAPI ReadPort(HANDLE, LPBYTE buffer, DWORD size, LPDWORD read) {
  EnterCriticalSection(&ThePort.lock);
  *read = static_cast<DWORD>(EmulatedPrinterRead(ThePort.printer, buffer, size));
  if (ThePort.armed && *read != 0) {
    ThePort.stamps.read = NowMs();
    ThePort.armed = false;
  }
  LeaveCriticalSection(&ThePort.lock);
  return TRUE;
}

BOOL WINAPI EndDocPort(HANDLE) {
  EnterCriticalSection(&ThePort.lock);
  if (ThePort.jobOpen) EmulatedPrinterJobEnd(ThePort.printer);
  ThePort.jobOpen = false;
  LeaveCriticalSection(&ThePort.lock);
  return TRUE;
}

BOOL WINAPI ClosePort(HANDLE) {
  SetEvent(ThePort.stopEvent);
  WaitForSingleObject(ThePort.pollThread, INFINITE);
  CloseHandle(ThePort.pollThread);
  CloseHandle(ThePort.stopEvent);
  EnterCriticalSection(&ThePort.lock);
  EmulatedPrinterDestroy(ThePort.printer);
  ThePort.printer = NULL;
  ThePort.open = false;
  LeaveCriticalSection(&ThePort.lock);
  return TRUE;
}

BOOL WINAPI GetPrinterDataFromPort(HANDLE, DWORD controlId, LPSTR, LPSTR, DWORD, LPSTR out,
                                   DWORD outSize, LPDWORD returned) {
  EnterCriticalSection(&ThePort.lock);
  BOOL ok = AnswerDeviceControl(Kind, controlId, EmulatedPrinterDeviceId(ThePort.printer), out,
                                outSize, returned);
  DWORD error = GetLastError();
  LeaveCriticalSection(&ThePort.lock);
  SetLastError(error);
  return ok;
}

MONITOR Table = {
    NULL,                    // EnumPorts
    OpenPort,                // OpenPort
    NULL,                    // OpenPortEx
    StartDocPort,            // StartDocPort
    WritePort,               // WritePort
    ReadPort,                // ReadPort
    EndDocPort,              // EndDocPort
    ClosePort,               // ClosePort
    NULL,                    // AddPort
    NULL,                    // ConfigurePort
    NULL,                    // DeletePort
    GetPrinterDataFromPort,  // GetPrinterDataFromPort
    NULL,                    // SetPortTimeOuts
};

}  // namespace

double NowMs() {
  static LARGE_INTEGER frequency;
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

MONITOR* WaitPortMonitor(PortKind kind, uint32_t pageMs) {
  Kind = kind;
  PageMs = pageMs;
  return &Table;
}

uint32_t WaitPortRaise(PrinterCondition condition, uint32_t tray, uint32_t size) {
  EnterCriticalSection(&ThePort.lock);
  uint32_t code = 0;
  if (ThePort.open) {
    EmulatedPrinterRaise(ThePort.printer, condition, 0, tray, size);
    memset(&ThePort.stamps, 0, sizeof ThePort.stamps);
    ThePort.stamps.queued = NowMs();
    ThePort.armed = true;
    PrinterCounters counters;
    EmulatedPrinterCounters(ThePort.printer, &counters);
    code = counters.statusCode;
  }
  LeaveCriticalSection(&ThePort.lock);
  return code;
}

void WaitPortRemedy() {
  EnterCriticalSection(&ThePort.lock);
  if (ThePort.open) EmulatedPrinterRemedy(ThePort.printer, COND_COUNT);
  LeaveCriticalSection(&ThePort.lock);
}

ReplyStamps WaitPortStamps() {
  EnterCriticalSection(&ThePort.lock);
  ReplyStamps stamps = ThePort.stamps;
  LeaveCriticalSection(&ThePort.lock);
  return stamps;
}

uint64_t WaitPortBytesTaken() {
  EnterCriticalSection(&ThePort.lock);
  uint64_t taken = ThePort.taken;
  LeaveCriticalSection(&ThePort.lock);
  return taken;
}
