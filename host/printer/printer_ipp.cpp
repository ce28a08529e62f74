// The emulated printer's IPP face: its answer to Get-Printer-Attributes, drawn from the same
// state its PJL and plain replies report (every active condition, not only the most urgent one),
// worded as a network printer words it: printer-state, printer-state-reasons with their levels,
// printer-device-id, the trays with the empty one at level 0, the paper ready in each tray, and
// the toner and drum supplies.
#include <stdio.h>
#include <string.h>

#include "emulated_printer_internal.h"
#include "media_sizes.h"

namespace {

// The reason each condition is worded as. ORDER: PrinterCondition
const char* const ConditionReasons[COND_COUNT] = {
    "other",                  // service
    "media-jam",              // jam
    "door-open",              // door-open
    "media-needed",           // paper-out
    "offline",                // offline
    "output-area-full",       // output-full
    nullptr,                  // warming-up: printer-state says processing
    nullptr,                  // memory-full: auto-continued
    "opc-life-over-warning",  // drum-end
    "opc-near-eol-warning",   // drum-near-end
    "toner-low-report",       // toner-low
    "media-empty-report",     // tray-empty
};

enum : uint32_t { TRAY_COUNT = 3 };

struct Writer {
  uint8_t* out;
  size_t room;
  size_t at;
  bool ok;
};

void Put(Writer* w, const void* bytes, size_t n) {
  if (!w->ok || n > w->room - w->at) {
    w->ok = false;
    return;
  }
  memcpy(w->out + w->at, bytes, n);
  w->at += n;
}

void PutByte(Writer* w, uint8_t b) {
  Put(w, &b, 1);
}

void PutShort(Writer* w, size_t v) {
  PutByte(w, static_cast<uint8_t>(v >> 8));
  PutByte(w, static_cast<uint8_t>(v));
}

void PutValue(Writer* w, uint8_t tag, const char* name, const void* value, size_t length) {
  PutByte(w, tag);
  PutShort(w, strlen(name));
  Put(w, name, strlen(name));
  PutShort(w, length);
  Put(w, value, length);
}

void PutText(Writer* w, uint8_t tag, const char* name, const char* text) {
  PutValue(w, tag, name, text, strlen(text));
}

void PutInteger(Writer* w, uint8_t tag, const char* name, uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  PutValue(w, tag, name, b, 4);
}

const char* SizeName(uint32_t code) {
  for (const MediaSizeRow& row : MediaSizeTable) {
    if (row.code == code) return row.pwgName;
  }
  return nullptr;
}

// The tray a per-tray condition names (1 to 9; 0 for none) and the paper it wants.
uint32_t TrayOf(uint32_t code) {
  return code / TRAY_CODE_STEP % 10;
}

}  // namespace

size_t EmulatedPrinterIppAnswer(EmulatedPrinter* p, const uint8_t* request, size_t requestLength,
                                uint8_t* out, size_t room) {
  Tick(p);
  Writer w = {out, room, 0, true};
  const bool asked = requestLength >= 8 && request[2] == 0 && request[3] == 0x0B;
  PutByte(&w, 2);
  PutByte(&w, 0);
  PutShort(&w, asked ? 0x0000 : 0x0501);  // successful-ok, or operation-not-supported
  Put(&w, requestLength >= 8 ? request + 4 : reinterpret_cast<const uint8_t*>("\0\0\0\0"), 4);
  PutByte(&w, 0x01);
  PutText(&w, 0x47, "attributes-charset", "utf-8");
  PutText(&w, 0x48, "attributes-natural-language", "en");
  if (!asked) {
    PutByte(&w, 0x03);
    return w.ok ? w.at : 0;
  }
  PutByte(&w, 0x04);
  bool stopped = false;
  uint32_t emptyTray = 0, emptySize = 0, reasons = 0;
  for (uint32_t c = 0; c < COND_COUNT; c++) {
    if (!p->conditions[c].active) continue;
    stopped = stopped || ConditionTable[c].blocks;
    if (ConditionTable[c].perTray) {
      emptyTray = TrayOf(p->conditions[c].code);
      emptySize = p->conditions[c].code % TRAY_CODE_STEP;
    }
    if (!ConditionReasons[c]) continue;
    PutText(&w, 0x44, reasons++ ? "" : "printer-state-reasons", ConditionReasons[c]);
  }
  if (reasons == 0) PutText(&w, 0x44, "printer-state-reasons", "none");
  const bool printing = p->counters.pagesPrinted != p->counters.pagesReceived;
  PutInteger(&w, 0x23, "printer-state", stopped ? 5 : printing ? 4 : 3);
  PutText(&w, 0x41, "printer-device-id", p->deviceId);
  PutText(&w, 0x41, "printer-make-and-model", p->model ? p->model->name : "generic");
  const uint32_t usual = p->model && strcmp(p->model->paperName, "A4") == 0 ? 4 : 1;
  char text[160];
  for (uint32_t t = 1; t <= TRAY_COUNT; t++) {
    snprintf(text, sizeof text,
             "type=sheetFeedAutoRemovableTray;maxcapacity=250;level=%d;name=tray-%u",
             t == emptyTray ? 0 : -3, t);
    PutText(&w, 0x30, t == 1 ? "printer-input-tray" : "", text);
  }
  for (uint32_t t = 1; t <= TRAY_COUNT; t++) {
    const char* size = SizeName(t == emptyTray && SizeName(emptySize) ? emptySize : usual);
    PutValue(&w, 0x34, t == 1 ? "media-col-ready" : "", "", 0);
    PutText(&w, 0x4A, "", "media-size-name");
    PutText(&w, 0x44, "", size);
    PutText(&w, 0x4A, "", "media-source");
    snprintf(text, sizeof text, "tray-%u", t);
    PutText(&w, 0x44, "", text);
    PutValue(&w, 0x37, "", "", 0);
  }
  const bool tonerLow = p->conditions[COND_TONER_LOW].active;
  const int drum = p->conditions[COND_DRUM_END].active        ? 0
                   : p->conditions[COND_DRUM_NEAR_END].active ? 5
                                                              : 70;
  snprintf(text, sizeof text,
           "index=1;class=supplyThatIsConsumed;type=toner;unit=percent;"
           "maxcapacity=100;level=%d;colorantname=black;",
           tonerLow ? 5 : 60);
  PutText(&w, 0x30, "printer-supply", text);
  snprintf(text, sizeof text,
           "index=2;class=supplyThatIsConsumed;type=opc;unit=percent;"
           "maxcapacity=100;level=%d;",
           drum);
  PutText(&w, 0x30, "", text);
  PutByte(&w, 0x03);
  return w.ok ? w.at : 0;
}
