// The per-port status thread: reads and applies the printer's replies, writes drum counter
// resets, and on leaving clears the status and ends a deferred job.
#include "status_thread.h"

#include "apply_status.h"
#include "display_link.h"
#include "monitor_face.h"
#include "notify_display.h"
#include "port_ops.h"
#include "reply_parsers.h"
#include "settings.h"
#include "status_codes.h"

namespace {

const SIZE_T kThreadStack = 0x4000;  // 16 KiB: the thread keeps its buffers in the record
const DWORD kPollPauseMs = 2000;     // between reads outside a job, and for unknown printers
// Between reads while the report of a named job's end is due: the spooler hears of the job's
// end within this of the report.
const DWORD kReportPollMs = 500;
// A deferred end of one of the maker's printers (NT), which report no job's end: it completes
// once the printer has been silent this long with no code that stops printing.
const DWORD kReadySettleMs = 10000;
const DWORD kReplyRoom = sizeof(static_cast<PortRecord*>(nullptr)->replyBuffer) - 1;  // 1023

// A pause of the thread outside a job: it ends early when the thread is woken (a job starts, a
// query wants a read, the port is asked to stop), so stopping never waits out a pause.
void Pause(const PortRecord* record) {
  const bool reportDue = HasPortFlags(record, PF_JOB_REPORT_DUE);
  WaitForSingleObject(LoadShared(&record->hWakeEvent), reportDue ? kReportPollMs : kPollPauseMs);
}

void CloseAndZero(HANDLE* field) {
  HANDLE h = LoadShared(field);
  StoreShared(field, NULL);
  if (h) CloseHandle(h);
}

// Only the maker's printers know the drum counter reset commands; any other printer might print
// them as text.
bool IsFamilyPrinter(const PortRecord* record) {
  return HasPortFlags(record, PF_FAMILY_MODEL | PF_FAMILY_MAKER);
}

// Writes the drum counter reset command; TRUE when the port monitor took all of it. A prefix or
// request the port took in part is finished first, so the command never lands inside one.
bool WriteDrumReset(PortRecord* record) {
  if (!FinishCutWrites(record)) return false;
  bool model3820 = HasPortFlags(record, PF_MODEL_3820);
  const char* command = model3820 ? DRUM_RESET_LONG : DRUM_RESET_SHORT;
  DWORD length = model3820 ? DRUM_RESET_LONG_LENGTH : DRUM_RESET_SHORT_LENGTH;
  DWORD written = 0;
  // Straight to the port monitor: no PJL prefix, and whether or not a lower job is open.
  FaceOf(record)->writeLower(record, reinterpret_cast<LPBYTE>(const_cast<char*>(command)), length,
                             &written);
  return written == length;
}

// A code of the maker's printers that stops printing: warming up, or one that needs the
// operator (toner and drum codes ask for a supply but printing goes on).
bool StopsPrinting(DWORD code) {
  return code == STATUS_CODE_WARMING_UP || (code > STATUS_CODE_SLEEP && !IsTonerDrumCode(code));
}

// The printer has been silent for longer than its idle time-out while a deferred job end
// waits: the printer will not report the job's end (the maker's printers never do), so the job
// is taken as done. On the NT face one of the maker's printers that shows nothing stopping it
// is taken as done sooner, after kReadySettleMs: a condition it reports meanwhile keeps the
// job, with its owner, until the printer reports it over (or the idle time-out).
bool DeferredEndIdle(const PortRecord* record) {
  if ((PortFlags(record) & (PF_IN_JOB | PF_JOB_OPEN)) != PF_JOB_OPEN) return false;
  const DWORD since = LoadShared(&record->noReplyTick);
  if (since == 0) return false;
  DWORD limit = IdleTimeoutOf(record);
  if (HasPortFlags(record, PF_NAMED_JOBS) && IsFamilyPrinter(record) &&
      !StopsPrinting(record->familyCode) && limit > kReadySettleMs) {
    limit = kReadySettleMs;
  }
  return GetTickCount() - since >= limit;
}

// Whether the thread stays to watch a condition that needs someone, after its job has ended:
// on a USB or parallel port a lower job held open keeps out no one, and the printer's report
// that the condition is over reaches the spooler. Not on a network port, where the open job
// would hold the printer's connection against other computers. The lower job must still be
// open (ClosePort and Shutdown end it first). Monitor lock held.
bool WatchesCondition(const PortRecord* record) {
  const DWORD flags = PortFlags(record);
  return (flags & (PF_LOCAL_PORT | PF_JOB_OPEN | PF_PJL_PRINTER)) ==
             (PF_LOCAL_PORT | PF_JOB_OPEN | PF_PJL_PRINTER) &&
         (LoadShared(&record->printerStatus) & STATUS_NEEDS_SOMEONE) != 0;
}

// The exit clean-up, entered with the monitor lock held, once the thread has decided to
// leave; releases it. The spooler's calls and the end of the lower job are made without the
// lock (PF_THREAD_LEAVING tells a job start to wait for them); the events go under it, and
// hWakeEvent last. Returns what the face needs to tell the display program once the lock is
// released (NULL: nothing). *closePort tells whether ClosePort or Shutdown left the port to
// this thread: it then closes the port below and frees the record itself.
void* LeaveStatusThread(PortRecord* record, HANDLE* drumEvent, bool* closePort) {
  SetPortFlags(record, PF_THREAD_LEAVING);
  HANDLE printer = ExchangeShared(&record->hPrinter, NULL);
  // NT: a condition that needs someone stays in the spooler status (and in the cached status,
  // so the printer's next report that it is over is a change): the printer shows as ready with
  // its door open otherwise. Any other status goes, and its cached copy with it: the same
  // condition reported again later is a change. (The Windows 95 face clears every status, as
  // its display program and users expect of it.)
  const bool keepStatus =
      record->face != NULL && (LoadShared(&record->printerStatus) & STATUS_NEEDS_SOMEONE) != 0;
  if (!keepStatus) StorePrinterStatus(record, 0);
  LeaveMonitorLock();
  // ClosePort and Shutdown wait for hWakeEvent to be 0 before they free the record (or leave
  // it to this thread), so it stays while these calls run.
  if (!keepStatus) FaceOf(record)->setPrinterStatus(record, printer, 0);
  if (printer) ClosePrinter(printer);
  EndLowerJob(record);  // a deferred job end completes here
  EnterMonitorLock();
  // A memory query may hold its own handle of the read-done event and wait on it: no read
  // will come any more, so it is released now rather than at the end of its time-out.
  HANDLE readDone = LoadShared(&record->hReadDoneEvent);
  if (readDone) SetEvent(readDone);
  CloseAndZero(&record->hReadDoneEvent);
  CloseAndZero(drumEvent);
  void* ending = FaceOf(record)->statusThreadEnding(record);
  // Decided by ClosePort or Shutdown under this lock, before they returned.
  *closePort = HasPortFlags(record, PF_ORPHANED);
  ClearPortFlags(record, PF_THREAD_ALIVE | PF_THREAD_LEAVING);
  // hWakeEvent last: ClosePort frees the record once it reads 0 here.
  CloseAndZero(&record->hWakeEvent);
  LeaveMonitorLock();
  return ending;
}

}  // namespace

BOOL StartStatusThread(PortRecord* record) {
  // Called with the monitor lock held. PF_THREAD_ALIVE is set before the thread exists, so
  // a ClosePort that comes before the thread's first instruction still waits for it.
  SetPortFlags(record, PF_THREAD_RUN | PF_THREAD_ALIVE);
  HANDLE wake = CreateEventA(NULL, FALSE, FALSE, NULL);
  HANDLE readDone = CreateEventA(NULL, TRUE, TRUE, NULL);
  StoreShared(&record->hWakeEvent, wake);
  StoreShared(&record->hReadDoneEvent, readDone);
  const MonitorFace* face = FaceOf(record);
  // The thread's hold on the monitor is taken here, before the thread exists, so the monitor
  // cannot be unloaded between its creation and its first instruction.
  HMODULE module = face->holdModule();
  record->threadModule = module;
  HANDLE thread = NULL;
  if (wake && readDone) thread = CreateThread(NULL, kThreadStack, StatusThread, record, 0, NULL);
  if (!thread) {
    // Leave the port as if no thread had ever run, so the next job tries again.
    record->threadModule = NULL;
    if (module) face->releaseModule(module, FALSE);
    CloseAndZero(&record->hWakeEvent);
    CloseAndZero(&record->hReadDoneEvent);
    ClearPortFlags(record, PF_THREAD_RUN | PF_THREAD_ALIVE);
    return FALSE;
  }
  SetThreadPriority(thread, THREAD_PRIORITY_LOWEST);
  CloseHandle(thread);
  return TRUE;
}

DWORD WINAPI StatusThread(LPVOID parameter) {
  PortRecord* record = static_cast<PortRecord*>(parameter);
  // What the thread needs after its clean-up, when the record may be gone.
  const MonitorFace* const face = FaceOf(record);
  const HMODULE module = record->threadModule;
  SetPortFlags(record, PF_THREAD_ALIVE);
  StoreShared(&record->noReplyTick, 0);
  ClearPortFlags(record, PF_DRUM_RESET);
  record->familyCode = 0;
  record->replyKept = 0;  // nothing read before this thread belongs to its replies

  // A request made before this thread started is discarded.
  HANDLE drumEvent = face->openDrumRequest(record);
  bool settingsRead = false;
  bool closePort = false;
  void* ending = NULL;
  bool networkPolled = false;  // this thread has asked a network printer once
  DWORD networkIdleSince = 0;  // tick the port's last job ended, for a network printer

  for (;;) {
    if (HasPortFlags(record, PF_DRUM_RESET)) {
      if (WriteDrumReset(record)) {
        ClearPortFlags(record, PF_DRUM_RESET);
        ResetEvent(drumEvent);
      }
      // Otherwise the whole command goes again in the next pass.
    } else if (drumEvent && IsFamilyPrinter(record) &&
               WaitForSingleObject(drumEvent, 0) == WAIT_OBJECT_0) {
      SetPortFlags(record, PF_DRUM_RESET);
    }

    if (!HasPortFlags(record, PF_THREAD_RUN)) {
      EnterMonitorLock();
      // A job start may have claimed this thread (set PF_THREAD_RUN again) while it waited for
      // the lock, and that job may already have ended: the thread then stays for its replies
      // and its deferred end, or the port would have PF_THREAD_RUN set and no thread.
      if (!HasPortFlags(record, PF_IN_JOB | PF_THREAD_RUN) && !WatchesCondition(record)) {
        ending = LeaveStatusThread(record, &drumEvent, &closePort);
        break;
      }
      SetPortFlags(record, PF_THREAD_RUN);
      LeaveMonitorLock();
    }

    if (HasPortFlags(record, PF_PJL_PRINTER)) {
      DWORD got = ReadReplies(record);
      if (got != 0) StoreShared(&record->noReplyTick, 0);
      if (got == 0 && !HasPortFlags(record, PF_IN_JOB)) {
        if (!settingsRead) {
          settingsRead = true;
          face->readSettings(record->instance);
        }
        Pause(record);
        if (HasPortFlags(record, PF_REQUEST_OWED)) SendOwedJobClose(record);
        if (LoadShared(&record->noReplyTick) == 0) {
          StoreShared(&record->noReplyTick, GetTickCount());
        } else if (DeferredEndIdle(record)) {
          ClearPortFlags(record, PF_THREAD_RUN);  // as after the printer's job-end report
        }
      }
      if (HasPortFlags(record, PF_IN_JOB)) {
        WaitForSingleObject(LoadShared(&record->hWakeEvent), INFINITE);
      }
    } else if (face->pollNetwork(record, !networkPolled)) {
      // A network printer: asked at the pause's rate (and at once when a write takes
      // nothing) through the job and its idle time-out after it.
      networkPolled = true;
      if (HasPortFlags(record, PF_IN_JOB)) {
        networkIdleSince = 0;
      } else if (networkIdleSince == 0) {
        networkIdleSince = GetTickCount();
      } else {
        if (!settingsRead) {
          settingsRead = true;
          face->readSettings(record->instance);
        }
        if (GetTickCount() - networkIdleSince >= IdleTimeoutOf(record)) {
          ClearPortFlags(record, PF_THREAD_RUN);
        }
      }
      Pause(record);
    } else {
      Pause(record);
      ClearPortFlags(record, PF_THREAD_RUN);
    }
  }

  // Shutdown returned while this thread finished a read: the port is closed below now that
  // nothing reads it any more (no spooler call is made after Shutdown).
  if (closePort) FinishClosePort(record);
  // The record may be gone now; only the display program is told, and only when it shows this
  // port's printer: another printer's dialog stays.
  if (ending != NULL) face->statusThreadEnded(ending);
  if (module) face->releaseModule(module, TRUE);  // does not return
  return 0;
}

DWORD ReadReplies(PortRecord* record) {
  HANDLE readDone = LoadShared(&record->hReadDoneEvent);
  if (!HasPortFlags(record, PF_JOB_OPEN)) {
    // Nothing to read without a lower job; a query or StartDocPort that reset the event and
    // woke the thread for this read must not wait out its time-out.
    SetEvent(readDone);
    return 0;
  }
  ResetEvent(readDone);
  char* buffer = record->replyBuffer;
  // An unfinished reply from the previous call waits at the front of the buffer, unless the
  // lower job it came in has ended since: a reply cut by a printer switched off must not
  // swallow the first reply of the next job.
  const DWORD serial = LoadShared(&record->lowerJobSerial);
  DWORD kept = record->replyKeptSerial == serial ? record->replyKept : 0;
  DWORD room = 0, got = 0;
  do {
    room = kReplyRoom - kept;
    got = 0;
    ReadPort(record, reinterpret_cast<LPBYTE>(buffer + kept), room, &got);
    if (got > room) got = 0;  // a port monitor that claims more than it was given is ignored
    if (got != 0) {
      buffer[kept + got] = '\0';
      DWORD consumed = 0;
      if (DispatchReplies(record, buffer, &consumed) == PARSE_MORE) {
        DWORD remaining = kept + got - consumed;
        if (remaining == kReplyRoom) {
          // One reply longer than the whole buffer: its first 1023 bytes are dropped, and the
          // reading goes on, so its rest is passed over and the replies behind it are read now
          // rather than at some later wake.
          kept = 0;
          continue;
        }
        for (DWORD i = 0; i <= remaining; ++i) buffer[i] = buffer[consumed + i];  // with its NUL
        kept = remaining;
      } else {
        kept = 0;
      }
    }
  } while (room != 0 && got == room);
  record->replyKept = kept;
  record->replyKeptSerial = serial;
  SetEvent(readDone);
  return got;
}

// Whether the text holds a form feed, the end of a PJL reply.
static bool HasFormFeed(const char* text) {
  for (; *text; ++text) {
    if (*text == '\f') return true;
  }
  return false;
}

// Length of the end of [text, end) that could be the start of "@PJL" (0 to 3 bytes).
static DWORD PartialPjlHeader(const char* text, const char* end) {
  static const char kHeader[] = "@PJL";
  for (DWORD n = 3; n > 0; --n) {
    if (end - text < static_cast<long>(n)) continue;
    const char* tail = end - n;
    DWORD i = 0;
    while (i < n && tail[i] == kHeader[i]) ++i;
    if (i == n) return n;
  }
  return 0;
}

ParseResult DispatchReplies(PortRecord* record, char* text, DWORD* consumed) {
  *consumed = 0;
  if (text[0] == '\0') return PARSE_NO_PJL;
  for (;;) {
    StatusToken tokens[MAX_REPLY_TOKENS];
    uint32_t count = 0;
    ParseResult result;
    char* stop = text;
    const bool plain = HasPortFlags(record, PF_FAMILY_MAKER | PF_FAMILY_MODEL);
    if (plain) {
      result = ParsePlainReply(text, MAX_REPLY_TOKENS, tokens, &count, &stop);
    } else {
      const char* pjlStop = text;
      result = ParsePjlReply(text, MAX_REPLY_TOKENS, tokens, &count, &pjlStop);
      stop = text + (pjlStop - text);
    }
    if (result == PARSE_DONE) {
      SetPortFlags(record, PF_PJL_PRINTER);
      ApplyStatusTokens(record, tokens, count);
    } else if (result == PARSE_MORE) {
      return PARSE_MORE;
    } else if (result == PARSE_BAD && !plain && !HasFormFeed(text)) {
      // A PJL reply whose form feed has not arrived is not finished, whatever it looked
      // like where the text ended (inside "TRUE", say): parse it again with the rest.
      return PARSE_MORE;
    } else if (result == PARSE_NO_PJL && *stop == '\0') {
      // The text ended in what may be the first bytes of the next reply's "@PJL": keep them
      // for the next read instead of passing over them, or a reply split there is lost.
      DWORD partial = PartialPjlHeader(text, stop);
      if (partial) {
        *consumed += static_cast<DWORD>(stop - text) - partial;
        return PARSE_MORE;
      }
    }
    // Replies that did not parse cleanly are skipped. A parser that made no progress would
    // be called at the same place for ever: the rest of the text is given up instead.
    if (stop <= text) return result;
    *consumed += static_cast<DWORD>(stop - text);
    text = stop;
    if (*text == '\0') return result;
  }
}
