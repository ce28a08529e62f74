// The port and job operations of the monitor table, and SendString.
#include "port_ops.h"

#include "guarded_heap.h"
#include "identify.h"
#include "monitor_face.h"
#include "status_thread.h"

namespace {

// The PJL prefix written before the first data of a job for a printer that answers: the
// universal exit with "@PJL" (15 bytes), then "@PJL USTATUS DEVICE=ON" (24 bytes).
const char kPrefix[] = "\x1b%-12345X@PJL\r\n@PJL USTATUS DEVICE=ON\r\n";
const DWORD kPrefixLength = sizeof kPrefix - 1;
const DWORD kPrefixLine1 = 15;
static_assert(sizeof kPrefix - 1 == 15 + 24, "the prefix lines are 15 and 24 bytes");

// A named job's prefix (NT face, a PJL printer that reports jobs): the same two lines, then
// job reports asked for and the monitor's own PJL job opened. A printer that follows PJL
// reports a job's end only when asked, and only for a job opened with JOB: its report of this
// name ends the deferred job. The driver's own JOB/EOJ pairs inside the data are of no account.
const char kJobReportsOn[] = "@PJL USTATUS JOB=ON\r\n@PJL JOB NAME=\"";
// The job's close, written by EndDocPort before the lower job's end: EOJ of the same name, and
// a universal exit, so the printer leaves whatever language the data left it in.
const char kJobCloseStart[] = "\x1b%-12345X@PJL EOJ NAME=\"";
const DWORD kUelLength = 9;  // ESC%-12345X, at each end of the close
const char kNameEnd[] = "\"\r\n";
const char kCloseEnd[] = "\"\r\n\x1b%-12345X";
// The name's fixed word; the PJL reply parser knows it (pjl_keyword_tree.h). A name within
// PJL's rules: printable, no quote, far below 80 characters.
const char kJobWord[] = "QVLLINK ";

// StartDocPort waits this long for a read of replies under way on a drained job.
const DWORD kReadDoneWaitMs = 5000;
// ClosePort looks this often whether the status thread has finished, and gives up after
// kCloseWaitMs: a thread still in a read of the port then closes the port itself.
const DWORD kClosePollMs = 20;
const DWORD kCloseWaitMs = 5000;

inline PortRecord* Record(HANDLE port) {
  return static_cast<PortRecord*>(port);
}

void WakeStatusThread(PortRecord* record) {
  HANDLE wake = LoadShared(&record->hWakeEvent);
  if (wake) SetEvent(wake);
}

}  // namespace

// Ends the lower job if it is open. The flag is cleared first, so no one ends it twice. A reply
// the status thread keeps unfinished from this job is not glued to the next one's.
void EndLowerJob(PortRecord* record) {
  if (TestAndClearPortFlags(record, PF_JOB_OPEN) & PF_JOB_OPEN) {
    ClearPortFlags(record, PF_JOB_REPORT_DUE);  // the thread's pauses go back to their length
    IncrementShared(&record->lowerJobSerial);
    const MonitorFace* face = FaceOf(record);
    face->endLowerDoc(record);
    face->lowerJobEnded(record, LoadShared(&record->jobId));
  }
}

namespace {

// The status thread reads the printer handle while a job starts: it sees the old or the new one.
void OpenPrinterOnPort(PortRecord* record, LPVOID printerName) {
  StoreShared(&record->hPrinter, FaceOf(record)->openPrinter(record, printerName));
}

// Writes text[*sent, end) straight to the port monitor, in as many writes as the port takes,
// counting in *sent what went out. A port monitor that took part of it is given the rest, never
// the start again: the printer must not see a cut universal exit or a cut PJL command. TRUE once
// all of it is out; FALSE when a write took nothing (which wakes the status thread unless it is
// the writer). Called with the record's prefix lock held.
BOOL SendRest(PortRecord* record, const char* text, DWORD end, DWORD* sent, bool wake = true) {
  while (*sent < end) {
    DWORD rest = end - *sent;
    DWORD written = 0;
    FaceOf(record)->writeLower(record, reinterpret_cast<LPBYTE>(const_cast<char*>(text + *sent)),
                               rest, &written);
    if (written == 0 || written > rest) {
      if (wake) WakeStatusThread(record);
      return FALSE;
    }
    *sent += written;
  }
  return TRUE;
}

// The prefix's first line and the rest, each in a write of its own; once all is out, replies
// are due, and a named job is open on the printer. Prefix lock held.
BOOL SendPrefixRest(PortRecord* record) {
  const char* prefix = record->prefixText != NULL ? record->prefixText : kPrefix;
  const DWORD length = record->prefixText != NULL ? record->prefixLength : kPrefixLength;
  if (!SendRest(record, prefix, kPrefixLine1, &record->prefixSent) ||
      !SendRest(record, prefix, length, &record->prefixSent)) {
    return FALSE;
  }
  SetPortFlags(record, prefix == record->jobPrefix ? PF_USTATUS_ON | PF_OWN_JOB : PF_USTATUS_ON);
  ClearPortFlags(record, PF_PJL_PREFIX);
  return TRUE;
}

// The rest of a memory request the port took in part. Prefix lock held.
BOOL SendOwedRequest(PortRecord* record) {
  if (!SendRest(record, record->requestText, record->requestLength, &record->requestSent)) {
    return FALSE;
  }
  record->requestText = NULL;
  ClearPortFlags(record, PF_REQUEST_OWED);
  SetPortFlags(record, PF_USTATUS_ON);  // the printer now has the whole request: replies are due
  return TRUE;
}

// What must reach the printer before anything else of this lower job: the pending prefix, and
// the rest of a request the port took in part. TRUE when nothing is owed any more. Prefix lock
// held. The spooler's writes and a memory query's request may meet here: the first to take the
// lock sends; the other waits and finds it sent, or sends what is left of it.
BOOL SendOwedBytes(PortRecord* record) {
  if (HasPortFlags(record, PF_PJL_PREFIX) && !SendPrefixRest(record)) return FALSE;
  return !HasPortFlags(record, PF_REQUEST_OWED) || SendOwedRequest(record);
}

// Appends text to out (at most end - out characters and a NUL, end pointing at the last byte
// of the buffer); returns the new end of the text.
char* AppendText(char* out, const char* end, const char* text, DWORD count = 0xFFFFFFFF) {
  for (; *text != '\0' && count != 0 && out < end; --count) *out++ = *text++;
  *out = '\0';
  return out;
}

char* AppendDecimal(char* out, const char* end, DWORD value) {
  char digits[11];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0 && out < end) *out++ = digits[--n];
  *out = '\0';
  return out;
}

// This job's prefix: a named job's for a PJL printer on a port of named jobs (the maker's
// printers report no jobs: theirs is the plain prefix), "QVLLINK <job id>.<run>". Prefix
// lock held; no owed request points into the old close any more (the job start dropped it).
void ChoosePrefix(PortRecord* record, DWORD jobId) {
  if (!HasPortFlags(record, PF_NAMED_JOBS) ||
      HasPortFlags(record, PF_FAMILY_MODEL | PF_FAMILY_MAKER)) {
    record->prefixText = kPrefix;
    record->prefixLength = kPrefixLength;
    return;
  }
  const DWORD run = LoadShared(&record->jobRun) + 1;
  StoreShared(&record->jobRun, run);
  char name[32];
  const char* nameEnd = name + sizeof name - 1;
  AppendDecimal(
      AppendText(AppendDecimal(AppendText(name, nameEnd, kJobWord), nameEnd, jobId), nameEnd, "."),
      nameEnd, run);
  char* const prefixEnd = record->jobPrefix + sizeof record->jobPrefix - 1;
  char* p = AppendText(record->jobPrefix, prefixEnd, kPrefix);
  const DWORD oldClose = static_cast<DWORD>(lstrlenA(record->jobClose));
  if (record->jobLeftOpen && oldClose > 2 * kUelLength) {
    // The old job's EOJ line, from its close without the universal exits.
    p = AppendText(p, prefixEnd, record->jobClose + kUelLength, oldClose - 2 * kUelLength);
  }
  record->jobLeftOpen = FALSE;
  p = AppendText(AppendText(AppendText(p, prefixEnd, kJobReportsOn), prefixEnd, name), prefixEnd,
                 kNameEnd);
  record->prefixText = record->jobPrefix;
  record->prefixLength = static_cast<DWORD>(p - record->jobPrefix);
  char* const closeEnd = record->jobClose + sizeof record->jobClose - 1;
  AppendText(AppendText(AppendText(record->jobClose, closeEnd, kJobCloseStart), closeEnd, name),
             closeEnd, kCloseEnd);
}

// Closes the monitor's named job: after the job's data (a job the spooler cancelled too),
// before the lower job's end. A port that takes none or part of it (a printer stopped with a
// full buffer) owes the rest, which the status thread writes while the job's end is due; behind
// a request still owed it is left out, and the deferred end waits for its bound.
void SendJobClose(PortRecord* record) {
  SetPortFlags(record, PF_JOB_REPORT_DUE);
  EnterCriticalSection(&record->prefixLock);
  if (SendOwedBytes(record)) {
    const DWORD length = static_cast<DWORD>(lstrlenA(record->jobClose));
    DWORD sent = 0;
    if (!SendRest(record, record->jobClose, length, &sent)) {
      record->requestText = record->jobClose;
      record->requestLength = length;
      record->requestSent = sent;
      SetPortFlags(record, PF_REQUEST_OWED);
    }
  }
  LeaveCriticalSection(&record->prefixLock);
}

}  // namespace

BOOL WINAPI OpenPortEx(LPSTR portName, LPSTR printerName, PHANDLE handle, MONITOR* lowerMonitor) {
  EnterMonitorLock();
  if (FindPortRecord(PortListHead(), portName)) {
    LeaveMonitorLock();
    SetLastError(ERROR_BUSY);
    return FALSE;
  }
  PortRecord* record = CreatePortRecord(portName, printerName);
  if (!record) {
    LeaveMonitorLock();
    return FALSE;
  }
  SetPortFlags(record, PF_PJL_PRINTER);
  if (!lowerMonitor || !lowerMonitor->pfnOpenPort ||
      !lowerMonitor->pfnOpenPort(portName, &record->hPort)) {
    // No handle reaches the spooler, so no ClosePort would ever free this record: free it
    // now, keeping the port monitor's last error, so the port name can be opened again.
    DWORD error = GetLastError();
    FreePortRecord(record);
    LeaveMonitorLock();
    SetLastError(error);
    return FALSE;
  }
  record->lowerOpen = TRUE;
  *handle = record;
  record->portMonitor = *lowerMonitor;
  LeaveMonitorLock();
  return TRUE;
}

BOOL WINAPI StartDocPort(HANDLE port, LPSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
  return StartPortJob(Record(port), printerName, jobId, level, docInfo);
}

namespace {

// How often a job start looks whether a leaving status thread has finished its clean-up.
const DWORD kLeavingPollMs = 5;

// The port's status thread serves this job: a running one is kept, or one is started. False
// when none could be started.
bool KeepStatusThread(PortRecord* record) {
  bool serves = true;
  EnterMonitorLock();
  if (!HasPortFlags(record, PF_THREAD_RUN)) {
    if (HasPortFlags(record, PF_THREAD_ALIVE)) {
      // The thread has not reached its keep-running check; with PF_IN_JOB set it stays.
      SetPortFlags(record, PF_THREAD_RUN);
    } else {
      serves = StartStatusThread(record) != FALSE;
    }
  }
  LeaveMonitorLock();
  return serves;
}

BOOL StartHeldPortJob(PortRecord* record, LPVOID printerName, DWORD jobId, DWORD level,
                      LPBYTE docInfo) {
  const MonitorFace* face = FaceOf(record);
  // A status thread that decided to leave before this job began (PF_THREAD_LEAVING, set with
  // its decision under the lock) finishes its clean-up first: it ends the lower job and sets the
  // printer status outside the lock, and its events go with it. Taking the lock once makes sure
  // any decision made without seeing PF_IN_JOB is visible here; a later one sees PF_IN_JOB.
  // The wait lasts what the thread's own calls last: the port's EndDocPort, SetPrinterW.
  EnterMonitorLock();
  LeaveMonitorLock();
  while (HasPortFlags(record, PF_THREAD_LEAVING)) Sleep(kLeavingPollMs);

  if (HasPortFlags(record, PF_JOB_OPEN)) {
    // The previous job was left open for the printer's replies: end it now, and give a read
    // of replies under way on it a moment to finish.
    EndLowerJob(record);
    HANDLE readDone = LoadShared(&record->hReadDoneEvent);
    if (readDone) WaitForSingleObject(readDone, kReadDoneWaitMs);
  }

  if (!face->startLowerDoc(record, printerName, jobId, level, docInfo)) {
    ClearPortFlags(record, PF_IN_JOB);
    return FALSE;
  }

  if (!face->samePrinterName(record, printerName)) {
    // The name under the lock (the status thread's leaving reads it); the printer calls after.
    EnterMonitorLock();
    face->keepPrinterName(record, printerName);
    HANDLE old = ExchangeShared(&record->hPrinter, NULL);
    LeaveMonitorLock();
    if (old) ClosePrinter(old);
    OpenPrinterOnPort(record, printerName);
  } else if (!LoadShared(&record->hPrinter)) {
    OpenPrinterOnPort(record, printerName);
  }

  // A new lower job: a prefix still pending from a job that wrote nothing, and the rest of a
  // request cut in the old lower job, are dropped (this job's printer decides below whether it
  // gets a prefix), after a memory query still writing them has finished.
  EnterCriticalSection(&record->prefixLock);
  const DWORD before = TestAndClearPortFlags(
      record, PF_PJL_PREFIX | PF_REQUEST_OWED | PF_JOB_DATA | PF_OWN_JOB | PF_JOB_REPORT_DUE);
  if ((before & PF_OWN_JOB) ||
      ((before & PF_REQUEST_OWED) && record->requestText == record->jobClose)) {
    record->jobLeftOpen = TRUE;
  }
  record->prefixSent = 0;
  record->requestText = NULL;
  LeaveCriticalSection(&record->prefixLock);
  // The job id first: whoever ends the lower job from here on (a ClosePort, a Shutdown) tells
  // the spooler of this job, not of the one before.
  StoreShared(&record->jobId, jobId);
  SetPortFlags(record, PF_JOB_OPEN);

  if (IdentifyPrinter(record)) {
    SetPortFlags(record, PF_PJL_PRINTER);
    const bool threadServes = KeepStatusThread(record);
    // Without a status thread no one would read the replies or end a deferred job, so the
    // printer is not asked for any.
    const DOC_INFO_2A* info2 = reinterpret_cast<const DOC_INFO_2A*>(docInfo);
    if (threadServes &&
        (level == 1 || (level == 2 && info2 && (info2->dwMode == 1 || info2->dwMode == 2)))) {
      EnterCriticalSection(&record->prefixLock);
      ChoosePrefix(record, jobId);
      SetPortFlags(record, PF_PJL_PREFIX);
      LeaveCriticalSection(&record->prefixLock);
    }
  } else {
    ClearPortFlags(record, PF_PJL_PRINTER);
    // A network printer is asked for its status over IPP by the status thread, through the job
    // and the idle time after it. Nothing goes into the job for it: it is not known to speak
    // PJL.
    if (face->isNetworkPort(record)) KeepStatusThread(record);
  }

  ClearPortFlags(record, PF_USTATUS_ON);
  StoreShared(&record->noReplyTick, 0);
  return TRUE;
}

}  // namespace

BOOL StartPortJob(PortRecord* record, LPVOID printerName, DWORD jobId, DWORD level,
                  LPBYTE docInfo) {
  if (TestAndSetPortFlags(record, PF_IN_JOB) & PF_IN_JOB) {
    SetLastError(ERROR_BUSY);
    return FALSE;
  }
  // The job start calls the port monitor and the spooler without the lock: a Shutdown in the
  // meantime must not free the record under it.
  EnterMonitorLock();
  HoldPortRecord(record);
  LeaveMonitorLock();
  const BOOL started = StartHeldPortJob(record, printerName, jobId, level, docInfo);
  ReleasePortRecord(record);
  return started;
}

BOOL WINAPI WritePort(HANDLE port, LPBYTE data, DWORD count, LPDWORD written) {
  PortRecord* record = Record(port);
  if (!HasPortFlags(record, PF_JOB_OPEN)) {
    *written = 0;
    return FALSE;
  }
  if (HasPortFlags(record, PF_PJL_PREFIX | PF_REQUEST_OWED)) {
    EnterCriticalSection(&record->prefixLock);
    BOOL owedOut = SendOwedBytes(record);
    LeaveCriticalSection(&record->prefixLock);
    if (!owedOut) {
      *written = 0;
      return FALSE;
    }
  }
  // From here on a memory query would put its request into the middle of the job's data.
  SetPortFlags(record, PF_JOB_DATA);
  BOOL result = FaceOf(record)->writeLower(record, data, count, written);
  // A printer that takes nothing, or one with a status to report, is asked at once.
  if (HasPortFlags(record, PF_USTATUS_ON) &&
      (*written == 0 || LoadShared(&record->printerStatus) != 0)) {
    WakeStatusThread(record);
  }
  return result;
}

BOOL SendString(PortRecord* record, LPCSTR text, BOOL direct) {
  if (!HasPortFlags(record, PF_JOB_OPEN)) return FALSE;
  DWORD length = static_cast<DWORD>(lstrlenA(text));
  if (direct) {
    DWORD written = 0;
    FaceOf(record)->writeLower(record, reinterpret_cast<LPBYTE>(const_cast<LPSTR>(text)), length,
                               &written);
    if (written == 0) WakeStatusThread(record);
    return written == length;
  }
  // Through the prefix: what the printer is owed goes first, and a request the port takes in
  // part is owed in its turn.
  EnterCriticalSection(&record->prefixLock);
  BOOL whole = SendOwedBytes(record);
  if (whole) {
    DWORD sent = 0;
    whole = SendRest(record, text, length, &sent);
    if (!whole && sent != 0) {
      record->requestText = text;
      record->requestLength = length;
      record->requestSent = sent;
      SetPortFlags(record, PF_REQUEST_OWED);
    }
  }
  LeaveCriticalSection(&record->prefixLock);
  return whole;
}

void SendOwedJobClose(PortRecord* record) {
  EnterCriticalSection(&record->prefixLock);
  if ((PortFlags(record) & (PF_JOB_OPEN | PF_REQUEST_OWED)) == (PF_JOB_OPEN | PF_REQUEST_OWED) &&
      record->requestText == record->jobClose &&
      SendRest(record, record->requestText, record->requestLength, &record->requestSent, false)) {
    record->requestText = NULL;
    ClearPortFlags(record, PF_REQUEST_OWED);
  }
  LeaveCriticalSection(&record->prefixLock);
}

BOOL FinishCutWrites(PortRecord* record) {
  if (!HasPortFlags(record, PF_JOB_OPEN)) return TRUE;
  BOOL clear = TRUE;
  EnterCriticalSection(&record->prefixLock);
  if (HasPortFlags(record, PF_PJL_PREFIX) && record->prefixSent != 0) {
    clear = SendPrefixRest(record);
  }
  if (clear && HasPortFlags(record, PF_REQUEST_OWED)) clear = SendOwedRequest(record);
  LeaveCriticalSection(&record->prefixLock);
  return clear;
}

BOOL WINAPI ReadPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read) {
  PortRecord* record = Record(port);
  if (!HasPortFlags(record, PF_JOB_OPEN)) {
    *read = 0;
    return FALSE;
  }
  return FaceOf(record)->readLower(record, buffer, size, read);
}

BOOL WINAPI EndDocPort(HANDLE port) {
  PortRecord* record = Record(port);
  if (TestAndClearPortFlags(record, PF_OWN_JOB) & PF_OWN_JOB) SendJobClose(record);
  // With no PJL request out, the job ends now: the port monitor's EndDocPort and the spooler's
  // calls are made without the lock (one port slow to end its job holds up no other port), on
  // a reference that keeps the record alive through a Shutdown in the meantime. Otherwise the
  // end is deferred: the lower job and the printer handle stay open for the status thread,
  // which ends the job when the printer reports it.
  EnterMonitorLock();
  const bool endNow = !HasPortFlags(record, PF_USTATUS_ON);
  HANDLE printer = NULL;
  if (endNow) {
    HoldPortRecord(record);
    // A network printer's status thread goes on asking it after the job: the printer handle
    // stays with the thread, which closes it as it leaves.
    if (!(HasPortFlags(record, PF_THREAD_ALIVE) && FaceOf(record)->isNetworkPort(record))) {
      printer = ExchangeShared(&record->hPrinter, NULL);
    }
  }
  LeaveMonitorLock();
  if (endNow) {
    if (printer) ClosePrinter(printer);
    EndLowerJob(record);
  }
  EnterMonitorLock();
  ClearPortFlags(record, PF_IN_JOB);
  // A thread whose printer stopped answering at this job's start may be waiting for the job:
  // it is woken too, so it sees the job's end and leaves.
  if (HasPortFlags(record, PF_PJL_PRINTER | PF_THREAD_ALIVE)) WakeStatusThread(record);
  LeaveMonitorLock();
  if (endNow) ReleasePortRecord(record);
  return TRUE;
}

BOOL WINAPI ClosePort(HANDLE port) {
  PortRecord* record = Record(port);
  // Closed in the middle of a job: the monitor's named job is closed as EndDocPort would.
  if (TestAndClearPortFlags(record, PF_OWN_JOB) & PF_OWN_JOB) SendJobClose(record);
  // The thread zeroes hWakeEvent as the last step of its clean-up, under the lock.
  if (AskPortToStop(record)) {
    for (DWORD waited = 0; LoadShared(&record->hWakeEvent) && waited < kCloseWaitMs;
         waited += kClosePollMs) {
      Sleep(kClosePollMs);
    }
    if (LeavePortToThread(record)) return TRUE;
  }
  FinishClosePort(record);
  return TRUE;
}

bool LeavePortToThread(PortRecord* record) {
  EnterMonitorLock();
  const bool running = LoadShared(&record->hWakeEvent) != NULL;
  if (running) SetPortFlags(record, PF_ORPHANED);
  LeaveMonitorLock();
  return running;
}

BOOL AskPortToStop(PortRecord* record) {
  if (HasPortFlags(record, PF_IN_JOB)) {
    // The spooler closes a port in the middle of a job: end the job first, or the status
    // thread would keep itself running for it and this call would never return.
    EnterMonitorLock();
    ClearPortFlags(record, PF_IN_JOB);
    LeaveMonitorLock();
  }
  if (!HasPortFlags(record, PF_THREAD_ALIVE)) return FALSE;
  ClearPortFlags(record, PF_THREAD_RUN);
  EndLowerJob(record);
  EnterMonitorLock();
  WakeStatusThread(record);
  LeaveMonitorLock();
  return TRUE;
}

void FinishClosePort(PortRecord* record) {
  EndLowerJob(record);
  EnterMonitorLock();
  const BOOL listed = UnlinkPortRecord(record);
  LeaveMonitorLock();
  // The list's reference; unless a caller still works on the record outside the lock, this is
  // the last one, and it closes the port below and frees the record now.
  if (listed) ReleasePortRecord(record);
}
