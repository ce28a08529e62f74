// A network printer's IPP attributes as status: the spooler status of a printer outside the
// maker's family, and the codes a printer of the family would report in a plain reply.
#pragma once

#include <stdint.h>

#include "ipp_message.h"

enum : uint32_t { IPP_MAX_STATUS_CODES = 8 };

struct IppStatus {
  uint32_t spoolerStatus;  // PRINTER_STATUS_ bits (for printers outside the family)
  uint32_t codeCount;      // at least 1: the ready code when nothing is wrong
  // Distinct codes, the ones that leave printing going first and the ones that stop it last,
  // as a printer that reports several codes in one reply puts them.
  uint32_t codes[IPP_MAX_STATUS_CODES];
};

void IppStatusOf(const IppPrinterAttributes* attributes, IppStatus* out);
