// Applies a network printer's IPP answer; see network_status.h.
#include "network_status.h"

#include <string.h>

#include "apply_status.h"
#include "identify.h"
#include "state_reasons.h"

static_assert(REASON_STATUS_PAPER_JAM == PRINTER_STATUS_PAPER_JAM &&
                  REASON_STATUS_PAPER_OUT == PRINTER_STATUS_PAPER_OUT &&
                  REASON_STATUS_OFFLINE == PRINTER_STATUS_OFFLINE &&
                  REASON_STATUS_ERROR == PRINTER_STATUS_ERROR &&
                  REASON_STATUS_DOOR_OPEN == PRINTER_STATUS_DOOR_OPEN,
              "the table's status bits are the spooler's");

bool ApplyIppAnswer(PortRecord* port, const IppPrinterAttributes* answer, bool identify,
                    IppStatus* last) {
  bool identified = false;
  if (identify && answer->deviceId[0]) {
    char text[IPP_DEVICE_ID_MAX + 1];  // ParseDeviceId writes into its text
    static_assert(sizeof text == sizeof answer->deviceId, "the answer's device ID whole");
    memcpy(text, answer->deviceId, sizeof text);
    identified = ParseDeviceId(port, text) != 0;
  }
  IppStatus status;
  IppStatusOf(answer, &status);
  if (!identified && memcmp(&status, last, sizeof status) == 0) return false;
  *last = status;
  StatusToken tokens[IPP_MAX_STATUS_CODES];
  uint32_t count = 0;
  if (HasPortFlags(port, PF_FAMILY_MODEL | PF_FAMILY_MAKER)) {
    for (uint32_t i = 0; i < status.codeCount; i++)
      tokens[count++] = {TOK_DEVICE_CODE, status.codes[i]};
  } else {
    // A condition that stops the printer waits for someone, as the same code on a cable does.
    DWORD spooler = status.spoolerStatus;
    if (spooler != 0) spooler |= PRINTER_STATUS_USER_INTERVENTION;
    tokens[count++] = {TOK_SPOOLER_STATUS, spooler};
  }
  ApplyStatusTokens(port, tokens, count);
  return identified;
}
