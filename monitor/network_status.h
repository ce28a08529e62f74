// A network printer's IPP answer applied to its port, as a reply read through a port would be.
#pragma once

#include "ipp_status.h"
#include "port_record.h"

// The answer's device ID identifies the printer when `identify` (the first answer that carries
// one; the caller keeps whether that happened) exactly as a port's device ID does. Its state
// reasons then go through ApplyStatusTokens: as the codes a printer of the maker's family would
// report, or as the spooler status of the one table. Nothing is applied when the status is the
// same as *last (which is updated): a poll that finds nothing new tells no one. Returns true
// when the answer identified the printer.
bool ApplyIppAnswer(PortRecord* port, const IppPrinterAttributes* answer, bool identify,
                    IppStatus* last);
