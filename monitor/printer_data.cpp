// GetPrinterDataFromPort: device control requests go down to the port monitor unchanged; the
// two memory sizes are asked of the printer itself. The request goes out through the port, the
// port's status thread reads and applies the replies, and the query answers with what it stored.
#include "printer_data.h"

#include <string.h>

#include "identify.h"
#include "port_ops.h"

namespace {

// PJL memory requests, written as they stand (no NUL). Each opens and closes with the universal
// exit language command; INFO CONFIG brings the installed memory, INFO MEMORY the available.
const char MemoryRequestConfigAndMemory[] =
    "\x1b%-12345X@PJL\r\n@PJL USTATUS DEVICE=ON\r\n@PJL INFO CONFIG\r\n@PJL INFO MEMORY\r\n"
    "\x1b%-12345X";
const char MemoryRequestMemory[] =
    "\x1b%-12345X@PJL\r\n@PJL USTATUS DEVICE=ON\r\n@PJL INFO MEMORY\r\n\x1b%-12345X";
const char MemoryRequestPlain[] =
    "\x1b%-12345X@PJL INFO CONFIG\r\n@PJL INFO MEMORY\r\n\x1b%-12345X";

static_assert(sizeof MemoryRequestConfigAndMemory - 1 == 84, "request 1 is 84 bytes");
static_assert(sizeof MemoryRequestMemory - 1 == 66, "request 2 is 66 bytes");
static_assert(sizeof MemoryRequestPlain - 1 == 54, "request 3 is 54 bytes");

// Indexed by MemoryRequest; ends with NULL.
enum MemoryRequest { REQUEST_CONFIG_AND_MEMORY, REQUEST_MEMORY, REQUEST_PLAIN, REQUEST_NONE };
const char* const MemoryQueryRequest[] = {
    MemoryRequestConfigAndMemory,  // REQUEST_CONFIG_AND_MEMORY: QV-L3820
    MemoryRequestMemory,           // REQUEST_MEMORY: the maker's other QV-L models
    MemoryRequestPlain,            // REQUEST_PLAIN: any other printer that answers
    NULL,                          // REQUEST_NONE
};
static_assert(sizeof MemoryQueryRequest / sizeof MemoryQueryRequest[0] == REQUEST_NONE + 1,
              "one text per request and the end row");

// Each of the two waits on the status thread's reads gives up after 5 s: a spooler thread is
// held at most 10 s by a query.
const DWORD READ_WAIT_MS = 5000;
const int READS_WAITED = 2;

// Flags as the identification just left them. A QV-L3470 is not asked (its engine may take the
// requests for print data), and the printer must be one that answers.
MemoryRequest ChooseMemoryRequest(const PortRecord* record) {
  const DWORD flags = PortFlags(record);
  if (flags & PF_MODEL_3470) return REQUEST_NONE;
  if (!(flags & PF_PJL_PRINTER)) return REQUEST_NONE;
  if (flags & PF_MODEL_3820) return REQUEST_CONFIG_AND_MEMORY;
  if ((flags & PF_FAMILY_MODEL) && (flags & PF_FAMILY_MAKER)) return REQUEST_MEMORY;
  return REQUEST_PLAIN;
}

// Which cached size a value name asks for: NULL for any other name (or no name).
DWORD* MemoryField(PortRecord* record, LPCSTR valueName) {
  if (valueName == NULL) return NULL;
  if (lstrcmpiA(valueName, INSTALLED_MEMORY_VALUE) == 0) return &record->installedMemory;
  if (lstrcmpiA(valueName, AVAILABLE_MEMORY_VALUE) == 0) return &record->availableMemory;
  return NULL;
}

// A handle of our own to one of the port's events, taken under the monitor lock: the status
// thread closes its handles when it leaves (under the same lock), and a wait on a handle
// closed meanwhile would be a wait on nothing, or on whatever took its number. NULL when the
// port has no status thread.
HANDLE HoldEvent(HANDLE const* field) {
  HANDLE own = NULL;
  EnterMonitorLock();
  HANDLE h = LoadShared(field);
  if (h && !DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &own, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
    own = NULL;
  }
  LeaveMonitorLock();
  return own;
}

// Lets the status thread read the printer's replies twice and waits for each read to end. A
// port whose status thread has not started (or has ended) has no events: nobody would read.
void WaitForTwoReads(PortRecord* record) {
  const HANDLE threadEvent = LoadShared(&record->hReadDoneEvent);
  HANDLE readDone = HoldEvent(&record->hReadDoneEvent);
  HANDLE wake = HoldEvent(&record->hWakeEvent);
  if (readDone && wake) {
    for (int read = 0; read < READS_WAITED; ++read) {
      // Under the lock the thread is either still running, and will signal the event at the
      // end of its next read or when it leaves, or gone, and nobody would signal it: then the
      // query stops waiting instead of waiting out the time-out.
      EnterMonitorLock();
      const bool threadRuns = LoadShared(&record->hReadDoneEvent) == threadEvent;
      if (threadRuns) {
        ResetEvent(readDone);
        SetEvent(wake);
      }
      LeaveMonitorLock();
      if (!threadRuns) break;
      WaitForSingleObject(readDone, READ_WAIT_MS);
    }
  }
  if (readDone) CloseHandle(readDone);
  if (wake) CloseHandle(wake);
}

// The answer for a memory name from the size the port holds: 0 means no answer came, so a
// printer that reports 0 is answered with FALSE as well.
BOOL AnswerSize(const DWORD* field, LPVOID outBuffer, DWORD outSize, LPDWORD returned) {
  if (returned) *returned = sizeof(DWORD);
  const DWORD size = LoadShared(field);
  if (outBuffer == NULL || outSize < sizeof(DWORD) || size == 0) return FALSE;
  memcpy(outBuffer, &size, sizeof size);
  return TRUE;
}

}  // namespace

BOOL WINAPI GetPrinterDataFromPort(HANDLE port, DWORD controlId, LPSTR valueName, LPSTR inBuffer,
                                   DWORD inSize, LPSTR outBuffer, DWORD outSize, LPDWORD returned) {
  PortRecord* record = static_cast<PortRecord*>(port);
  if (record == NULL || !HasPortFlags(record, PF_JOB_OPEN)) return FALSE;

  if (controlId != 0) {
    if (record->portMonitor.pfnGetPrinterDataFromPort == NULL) return FALSE;
    return record->portMonitor.pfnGetPrinterDataFromPort(
        record->hPort, controlId, valueName, inBuffer, inSize, outBuffer, outSize, returned);
  }

  return QueryPrinterMemory(record, MemoryField(record, valueName), outBuffer, outSize, returned);
}

BOOL QueryPrinterMemory(PortRecord* record, DWORD* field, LPVOID outBuffer, DWORD outSize,
                        LPDWORD returned) {
  // A request now would land between two pieces of the job's data and end the printer's job
  // language there: the query is answered from what the printer last reported.
  if ((PortFlags(record) & (PF_IN_JOB | PF_JOB_DATA)) == (PF_IN_JOB | PF_JOB_DATA)) {
    return field != NULL && AnswerSize(field, outBuffer, outSize, returned);
  }

  // The device ID is read again so the request suits the printer attached now.
  if (!IdentifyPrinter(record)) return FALSE;
  const MemoryRequest request = ChooseMemoryRequest(record);
  if (request == REQUEST_NONE) return FALSE;
  // Without a status thread nobody would read the replies, and the job's end would be left
  // waiting for them.
  if (!HasPortFlags(record, PF_THREAD_ALIVE)) return FALSE;
  if (!SendString(record, MemoryQueryRequest[request], FALSE)) return FALSE;

  // Cleared only now that the request is out, so a failed query keeps the last sizes; an
  // answer stored from here on is the printer's reply to this request.
  if (field) StoreShared(field, 0);
  // Replies are due after the job's data: EndDocPort leaves the lower job open for them.
  SetPortFlags(record, PF_USTATUS_ON);
  WaitForTwoReads(record);

  return field != NULL && AnswerSize(field, outBuffer, outSize, returned);
}
