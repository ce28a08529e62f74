// Turns printer-state and printer-state-reasons into status through the one table of reasons
// (shared/state_reasons.h). Paper reasons name the tray that is empty and the size of the paper
// it holds, where the printer says so (printer-input-tray, media-col-ready).
#include "ipp_status.h"

#include <string.h>

#include "media_sizes.h"
#include "state_reasons.h"

namespace {

const StateReasonRow* RowOf(const IppReason& reason) {
  for (const StateReasonRow& row : StateReasonTable) {
    if (strcmp(row.keyword, reason.keyword) == 0) return &row;
  }
  return reason.level == IPP_LEVEL_ERROR ? &ServiceReason : nullptr;
}

struct CodeList {
  uint32_t count;
  uint32_t codes[IPP_MAX_STATUS_CODES];
};

void Add(CodeList* list, uint32_t code) {
  for (uint32_t i = 0; i < list->count; i++) {
    if (list->codes[i] == code) return;
  }
  if (list->count < IPP_MAX_STATUS_CODES) list->codes[list->count++] = code;
}

bool IsAutoSource(const IppTray& tray) {
  return strcmp(tray.name, "auto") == 0;
}

// The paper size code of the media ready in a tray, 0 when the printer does not say.
uint32_t SizeInTray(const IppPrinterAttributes* a, const IppTray& tray) {
  for (uint32_t i = 0; i < a->readyCount; i++) {
    if (a->ready[i].source[0] && strcmp(a->ready[i].source, tray.name) == 0) {
      return MediaSizeCode(a->ready[i].sizeName);
    }
  }
  return 0;
}

// base + x * 100 + yy for each empty tray (trays counted from 1, "auto" not counted, at most
// 9), the first one only when `first`; the base alone when no tray says it is empty.
void AddTrayCodes(const IppPrinterAttributes* a, uint32_t base, bool first, CodeList* list) {
  uint32_t number = 0;
  bool any = false;
  for (uint32_t i = 0; i < a->trayCount && number < 9; i++) {
    const IppTray& tray = a->trays[i];
    if (IsAutoSource(tray)) continue;
    number++;
    if (tray.level != 0) continue;
    Add(list, base + number * TRAY_CODE_STEP + SizeInTray(a, tray) % TRAY_CODE_STEP);
    any = true;
    if (first) return;
  }
  if (!any) Add(list, base);
}

}  // namespace

void IppStatusOf(const IppPrinterAttributes* a, IppStatus* out) {
  memset(out, 0, sizeof *out);
  CodeList going = {};
  CodeList stopping = {};
  for (uint32_t i = 0; i < a->reasonCount; i++) {
    const StateReasonRow* row = RowOf(a->reasons[i]);
    if (!row || (row->flags & REASON_IGNORED)) continue;
    const bool stops = (row->flags & REASON_STOPS) != 0;
    if (stops && a->reasons[i].level != IPP_LEVEL_ERROR) continue;
    out->spoolerStatus |= row->spoolerStatus;
    CodeList* list = stops ? &stopping : &going;
    if (row->flags & REASON_PER_TRAY) {
      AddTrayCodes(a, row->familyCode, stops, list);
    } else if (row->familyCode) {
      Add(list, row->familyCode);
    }
  }
  if (a->state == IPP_STATE_STOPPED && stopping.count == 0) {
    out->spoolerStatus |= StoppedReason.spoolerStatus;
    Add(&stopping, StoppedReason.familyCode);
  }
  // The toner and drum codes first: the display program holds them while other codes come and
  // go, and a printer's status is the last code's, so a tray that is empty is what it shows.
  for (uint32_t i = 0; i < going.count; i++) {
    if (IsTonerDrumCode(going.codes[i])) out->codes[out->codeCount++] = going.codes[i];
  }
  for (uint32_t i = 0; i < going.count; i++) {
    if (!IsTonerDrumCode(going.codes[i])) out->codes[out->codeCount++] = going.codes[i];
  }
  for (uint32_t i = 0; i < stopping.count && out->codeCount < IPP_MAX_STATUS_CODES; i++) {
    out->codes[out->codeCount++] = stopping.codes[i];
  }
  if (out->codeCount == 0) out->codes[out->codeCount++] = STATUS_CODE_READY;
}
