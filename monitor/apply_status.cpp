// Applies one parsed printer reply to its port: memory sizes become printer data, status codes
// become spooler printer status (or go to the display program for the maker's printers),
// online reports switch the offline state, and the report of the job's end lets the status
// thread finish. The spooler hears of a changed status once, after the whole reply.
#include "apply_status.h"

#include "monitor_face.h"
#include "notify_display.h"
#include "status_codes.h"

namespace {

// Spooler status of one status code of a printer outside the maker's family. Searched from the
// top, the first equal code wins; a hit replaces every bit. Ends with code 0.
struct StatusCodeRow {
  DWORD code;
  DWORD status;
};

const StatusCodeRow StatusCodeTable[] = {
    {STATUS_CODE_READY, 0},
    {10002, 0},
    {11002, 0},
    {STATUS_CODE_PAPER_JAM, PRINTER_STATUS_PAPER_JAM},
    {40034, PRINTER_STATUS_PAPER_PROBLEM},
    {STATUS_CODE_OFFLINE, PRINTER_STATUS_OFFLINE},
    {STATUS_CODE_OUTPUT_FULL, PRINTER_STATUS_OUTPUT_BIN_FULL},
    {STATUS_CODE_WARMING_UP, PRINTER_STATUS_WARMING_UP},
    {STATUS_CODE_TONER_LOW, PRINTER_STATUS_TONER_LOW},
    {40038, PRINTER_STATUS_TONER_LOW},
    {STATUS_CODE_MEMORY_OVERFLOW, PRINTER_STATUS_OUT_OF_MEMORY},
    {STATUS_CODE_DOOR_OPEN, PRINTER_STATUS_DOOR_OPEN},
    {30078, PRINTER_STATUS_POWER_SAVE},
    {0, 0},  // end
};
static_assert(sizeof(StatusCodeTable) / sizeof(StatusCodeTable[0]) == 14,
              "13 status codes and the end row");

// A QV-L3820 reports its installed memory short by this much.
const DWORD MODEL_3820_MEMORY_EXTRA = 212000;

bool IsFamilyPrinter(const PortRecord* port) {
  return HasPortFlags(port, PF_FAMILY_MODEL | PF_FAMILY_MAKER);
}

bool IsCodeToken(uint32_t id) {
  return id == TOK_INFO_CODE || id == TOK_DEVICE_CODE;
}

// A QV-L3820 reports several codes in one reply. A code from 30001 to 49999 that another code
// follows is passed over, except 30036, 40000, 40556, 40558 and 40559; the last code of a
// reply always counts.
bool SkippedByLookAhead(const PortRecord* port, const StatusToken* tokens, uint32_t count,
                        uint32_t i) {
  if (!HasPortFlags(port, PF_MODEL_3820)) return false;
  if (i + 1 >= count || !IsCodeToken(tokens[i + 1].id)) return false;
  const DWORD code = tokens[i].value;
  if (code <= STATUS_CODE_CONDITION_FIRST || code >= STATUS_CODE_SERVICE) return false;
  return code != STATUS_CODE_COUNTED_ERROR && code != STATUS_CODE_SLEEP && !IsTonerDrumCode(code);
}

// Tray codes are paper out from two codes past tray 1's first on (11102, 41102).
const DWORD kPaperOutSkip = 2;
const DWORD kTrayEmptyPaperOut = STATUS_CODE_TRAY_EMPTY + TRAY_CODE_STEP + kPaperOutSkip;
const DWORD kLoadPaperPaperOut = STATUS_CODE_LOAD_PAPER + TRAY_CODE_STEP + kPaperOutSkip;

DWORD StatusAfterCode(DWORD status, DWORD code) {
  for (const StatusCodeRow* row = StatusCodeTable; row->code != 0; ++row) {
    if (row->code == code) {
      status = row->status;
      break;
    }
  }
  if ((code >= kTrayEmptyPaperOut && code <= STATUS_CODE_TRAY_EMPTY_LAST) ||
      (code >= kLoadPaperPaperOut && code <= STATUS_CODE_LOAD_PAPER_LAST)) {
    status = PRINTER_STATUS_PAPER_OUT;
  }
  if (code > STATUS_CODE_SLEEP) status |= PRINTER_STATUS_USER_INTERVENTION;
  return status;
}

// The memory sizes are also read by GetPrinterDataFromPort on a spooler thread.
void StoreMemory(DWORD* field, DWORD value) {
  StoreShared(field, value);
}

void SetMemoryData(PortRecord* port, BOOL installed, DWORD value) {
  FaceOf(port)->setMemoryData(port, LoadShared(&port->hPrinter), installed, value);
}

// The printer has finished the port's current job: the status thread may end the deferred job
// and stop, unless another job has opened meanwhile.
void EndDeferredJob(PortRecord* port) {
  ClearPortFlags(port, PF_THREAD_RUN);
  HANDLE wake = LoadShared(&port->hWakeEvent);
  if (wake) SetEvent(wake);
}

}  // namespace

void ApplyStatusTokens(PortRecord* port, const StatusToken* tokens, uint32_t count) {
  const DWORD statusBefore = port->printerStatus;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t id = tokens[i].id;
    DWORD value = tokens[i].value;
    switch (id) {
      case TOK_MEM_TOTAL:
        StoreMemory(&port->availableMemory, value);
        SetMemoryData(port, FALSE, value);
        break;
      case TOK_MEM_INSTALLED:
      case TOK_CONFIG_MEMORY:
      case TOK_CONFIG_MEMORY_SPACED:
        if (HasPortFlags(port, PF_MODEL_3820)) value += MODEL_3820_MEMORY_EXTRA;
        StoreMemory(&port->installedMemory, value);
        SetMemoryData(port, TRUE, value);
        break;
      case TOK_INFO_CODE:
      case TOK_DEVICE_CODE:
        if (SkippedByLookAhead(port, tokens, count, i)) break;
        if (IsFamilyPrinter(port)) {
          port->familyCode = value;  // the status thread's own: its deferred end looks at it
          NotifyDisplay(port, value);
        } else {
          StorePrinterStatus(port, StatusAfterCode(port->printerStatus, value));
        }
        break;
      case TOK_INFO_ONLINE:
      case TOK_DEVICE_ONLINE:
        if (value != 0) {
          StorePrinterStatus(port, 0);
        } else {
          StorePrinterStatus(port, port->printerStatus | PRINTER_STATUS_OFFLINE);
        }
        break;
      case TOK_SPOOLER_STATUS:
        StorePrinterStatus(port, value);
        break;
      case TOK_JOB_ID:
        // The driver's own job, "MSJOB <id>": its end is the job's end only where the monitor
        // names no job of its own (the Windows 95 face).
        if (!HasPortFlags(port, PF_NAMED_JOBS) && value == LoadShared(&port->jobId)) {
          EndDeferredJob(port);
        }
        break;
      case TOK_OWN_JOB_ID:
        // The end of the job the monitor named, "QVLLINK <id>.<run>": this job's, and not a
        // run of the same job id before a restart.
        if (HasPortFlags(port, PF_NAMED_JOBS) && i + 1 < count &&
            tokens[i + 1].id == TOK_OWN_JOB_RUN && value == LoadShared(&port->jobId) &&
            tokens[i + 1].value == LoadShared(&port->jobRun)) {
          ClearPortFlags(port, PF_JOB_REPORT_DUE);
          EndDeferredJob(port);
        }
        break;
      default:  // tray sizes, echo, largest block, job end, display text: nothing to apply
        break;
    }
  }
  if (port->printerStatus != statusBefore) {
    FaceOf(port)->setPrinterStatus(port, LoadShared(&port->hPrinter), port->printerStatus);
  }
}
