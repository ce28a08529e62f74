// The port and job operations the spooler calls through the monitor table.
#pragma once

#include "port_record.h"

BOOL WINAPI OpenPortEx(LPSTR portName, LPSTR printerName, PHANDLE handle, MONITOR* lowerMonitor);
BOOL WINAPI StartDocPort(HANDLE port, LPSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
BOOL WINAPI WritePort(HANDLE port, LPBYTE data, DWORD count, LPDWORD written);
BOOL WINAPI ReadPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read);
BOOL WINAPI EndDocPort(HANDLE port);
BOOL WINAPI ClosePort(HANDLE port);

// StartDocPort for a port of either face: printerName and docInfo in the face's own form.
BOOL StartPortJob(PortRecord* record, LPVOID printerName, DWORD jobId, DWORD level, LPBYTE docInfo);

// Writes text to the printer: direct to the port monitor in one write, or after what the
// printer is owed (a pending prefix, the rest of a cut request), in as many writes as the port
// takes. TRUE when every byte was written. A text the port took only in part is owed in its
// turn and finished before anything else of the lower job: it must be a constant.
BOOL SendString(PortRecord* record, LPCSTR text, BOOL direct);

// The status thread, while a deferred end waits: one more try at the rest of the named job's
// close that the port did not take at EndDocPort (no wake when it takes nothing again).
void SendOwedJobClose(PortRecord* record);

// Finishes a prefix or memory request the port took only in part, before a write that is not
// part of the job (the drum counter reset). TRUE when nothing is cut any more.
BOOL FinishCutWrites(PortRecord* record);

// ClosePort in two halves, for a caller that cannot wait without bound (the NT face's
// Shutdown). AskPortToStop ends a job still in progress and asks the status thread to leave
// (ending the lower job); TRUE when a thread was alive, whose end shows as hWakeEvent 0.
// FinishClosePort then ends what is left, closes the port below and frees the record.
BOOL AskPortToStop(PortRecord* record);
void FinishClosePort(PortRecord* record);
// After a bounded wait for the thread: if it still runs (in a read of the port that outlasts
// the wait), marks the port PF_ORPHANED, under the monitor lock, and returns true; the thread
// then closes the port below and frees the record as it leaves. false: the thread has ended.
bool LeavePortToThread(PortRecord* record);

// Ends the lower job if it is open (whoever clears PF_JOB_OPEN first ends it).
void EndLowerJob(PortRecord* record);
