// The emulated printer's public operations, and the printer as a port device. Its parts:
// printer_input (input scanner), printer_pjl (PJL commands), printer_engine (print engine,
// conditions, scenario), printer_replies (reply queue), printer_events (event log),
// printer_models (built-in models).
#include <string.h>

#include <new>

#include "emulated_printer_internal.h"

namespace {

// A new host channel: the old one's PJL settings, input state and unread replies go.
void ResetChannel(EmulatedPrinter* p) {
  EnterPjl(p);
  p->escapeLength = 0;
  p->ustatusDevice = false;
  p->jobReports = REPORTS_DEFAULT;
  p->queueHead = 0;
  p->queueLength = 0;
  p->jobDepth = 0;
  // Jobs of the old channel finish printing, but nobody is left to hear of their end.
  for (uint32_t i = 0; i < p->endCount; i++) {
    if (!p->ends[i].nested) p->counters.jobsEnded++;
  }
  p->endCount = 0;
}

// The port device adapter.
EmulatedPrinter* FromPort(PortDevice* device) {
  return reinterpret_cast<EmulatedPrinter*>(device);
}
void PortJobStart(PortDevice* d, uint32_t jobId) {
  EmulatedPrinterJobStart(FromPort(d), jobId);
}
void PortJobEnd(PortDevice* d) {
  EmulatedPrinterJobEnd(FromPort(d));
}
size_t PortWrite(PortDevice* d, const uint8_t* data, size_t count) {
  return EmulatedPrinterWrite(FromPort(d), data, count);
}
size_t PortRead(PortDevice* d, uint8_t* buffer, size_t room) {
  return EmulatedPrinterRead(FromPort(d), buffer, room);
}
const char* PortDeviceId(PortDevice* d) {
  return EmulatedPrinterDeviceId(FromPort(d));
}

const PortDeviceOps PrinterPortOps = {
    PortJobStart,  // jobStart
    PortJobEnd,    // jobEnd
    PortWrite,     // write
    PortRead,      // read
    PortDeviceId,  // deviceId
};

}  // namespace

EmulatedPrinter* EmulatedPrinterCreate(const PrinterConfig* config) {
  EmulatedPrinter* p = new (std::nothrow) EmulatedPrinter;
  if (p == nullptr) return nullptr;
  memset(p, 0, sizeof(*p));
  p->port.ops = &PrinterPortOps;
  p->config = *config;
  p->model = config->model != nullptr ? config->model : &PrinterModels[0];
  if (p->config.pageBufferPages == 0) p->config.pageBufferPages = DEFAULT_PAGE_BUFFER;
  const char* id = config->deviceId != nullptr ? config->deviceId : p->model->deviceId;
  size_t idLength = strlen(id);
  if (idLength >= sizeof(p->deviceId)) idLength = sizeof(p->deviceId) - 1;
  memcpy(p->deviceId, id, idLength);
  p->config.deviceId = p->deviceId;
  if (config->scenario != nullptr) p->scenario = *config->scenario;
  if (p->scenario.count > MAX_SCENARIO_STEPS) p->scenario.count = MAX_SCENARIO_STEPS;
  p->config.scenario = &p->scenario;
  p->powerOnMs = ClockNow(p);
  p->now = p->powerOnMs;
  p->reportedCode = STATUS_CODE_READY;
  p->reportedOnline = true;
  Log(p, EV_POWER_ON, 0, "%s", p->deviceId);
  Tick(p);
  return p;
}

void EmulatedPrinterDestroy(EmulatedPrinter* printer) {
  delete printer;
}

void EmulatedPrinterConnect(EmulatedPrinter* p) {
  Tick(p);
  ResetChannel(p);
  Log(p, EV_CONNECT, 0, "");
}

void EmulatedPrinterJobStart(EmulatedPrinter* p, uint32_t jobId) {
  Tick(p);
  p->portJobId = jobId;
  Log(p, EV_PORT_JOB_START, jobId, "");
}

void EmulatedPrinterJobEnd(EmulatedPrinter* p) {
  Tick(p);
  Log(p, EV_PORT_JOB_END, p->portJobId, "");
  // Printers report a job's end on its EOJ only; a job the data left open stays open unless
  // the configuration asks to end it here.
  if (p->jobDepth != 0 && p->config.reportUnendedJobs) {
    p->jobDepth = 1;
    JobEnd(p);
  }
}

size_t EmulatedPrinterWrite(EmulatedPrinter* p, const void* data, size_t count) {
  Tick(p);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  size_t taken = 0;
  while (taken < count) {
    if (BufferFull(p)) {
      if (!p->inputHeld) {
        p->inputHeld = true;
        Log(p, EV_INPUT_HELD, p->counters.pagesReceived - p->counters.pagesPrinted,
            "page buffer full");
      }
      break;
    }
    p->inputHeld = false;
    if (p->mode == MODE_DATA && p->escapeLength == 0) {
      // Page data: only ESC (and FF, when pages are counted) matter.
      size_t i = taken;
      if (p->discard) {
        const void* esc = memchr(bytes + i, ESC, count - i);
        i = esc != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(esc) - bytes) : count;
      } else {
        while (i < count && bytes[i] != ESC && bytes[i] != FF) i++;
      }
      taken = i;
      if (taken == count) break;
    }
    p->pageArrived = false;
    FeedByte(p, bytes[taken++]);
    if (p->pageArrived) RunUntil(p, p->now);  // a page that can print at once does
  }
  p->counters.bytesIn += taken;
  return taken;
}

size_t EmulatedPrinterRead(EmulatedPrinter* p, void* buffer, size_t room) {
  Tick(p);
  size_t n = room < p->queueLength ? room : p->queueLength;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < n; i++) out[i] = p->queue[(p->queueHead + i) % QUEUE_ROOM];
  p->queueHead = static_cast<uint32_t>((p->queueHead + n) % QUEUE_ROOM);
  p->queueLength -= static_cast<uint32_t>(n);
  return n;
}

void EmulatedPrinterPoll(EmulatedPrinter* p) {
  Tick(p);
}

size_t EmulatedPrinterPending(const EmulatedPrinter* p) {
  return p->queueLength;
}

const char* EmulatedPrinterDeviceId(const EmulatedPrinter* p) {
  return p->deviceId;
}

const PrinterModel* EmulatedPrinterModel(const EmulatedPrinter* p) {
  return p->model;
}

void EmulatedPrinterRaise(EmulatedPrinter* p, PrinterCondition condition, uint32_t code,
                          uint32_t tray, uint32_t size) {
  if (condition >= COND_COUNT) return;
  Tick(p);
  if (tray < 1 || tray > 9) tray = 1;
  RaiseCondition(p, condition, ConditionCode(condition, Plain(p), tray, size, code), REMEDY_COMMAND,
                 0);
}

uint32_t EmulatedPrinterRemedy(EmulatedPrinter* p, PrinterCondition condition) {
  Tick(p);
  uint32_t cleared = 0;
  for (uint32_t c = 0; c < COND_COUNT; c++) {
    const ActiveCondition* a = &p->conditions[c];
    bool chosen = condition == COND_COUNT ? a->remedy == REMEDY_COMMAND : c == condition;
    if (a->active && chosen) {
      DropCondition(p, c);
      cleared++;
    }
  }
  UpdateStatus(p);
  Tick(p);  // held pages print now
  return cleared;
}

void EmulatedPrinterSetDiscard(EmulatedPrinter* p, bool discard) {
  p->discard = discard;
}

void EmulatedPrinterCounters(const EmulatedPrinter* p, PrinterCounters* out) {
  *out = p->counters;
  out->statusCode = p->reportedCode;
  out->online = p->reportedOnline;
  out->ustatusDevice = p->ustatusDevice;
}

PortDevice* EmulatedPrinterDevice(EmulatedPrinter* p) {
  return &p->port;
}
