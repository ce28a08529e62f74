// The port record: everything the monitor knows about one open port, the port list and the
// monitor lock that guards it.
#pragma once

#include "shared_fields.h"
#include "spooler_win95.h"

// Bits of PortRecord::flags. Changed from spooler threads and the port's status thread, so
// always through the port flag helpers below (atomic read-modify-write).
enum : DWORD {
  PF_IN_JOB = 0x1,              // a spooler job is between StartDocPort and EndDocPort
  PF_THREAD_RUN = 0x2,          // the status thread is to keep running
  PF_THREAD_ALIVE = 0x4,        // the status thread exists
  PF_NAMED_JOBS = 0x8,          // NT: a PJL printer's job is a PJL job of the monitor's naming
  PF_USTATUS_ON = 0x10,         // PJL requests went out in this job: replies are due
  PF_PJL_PREFIX = 0x20,         // the PJL prefix is still to be written before the job's data
  PF_JOB_OPEN = 0x40,           // the lower (port monitor's) job is open
  PF_PJL_PRINTER = 0x80,        // the printer answers
  PF_JOB_DATA = 0x100,          // the spooler's data of this job has begun to go down
  PF_REQUEST_OWED = 0x200,      // a memory request went out in part: its rest goes first
  PF_OWN_JOB = 0x400,           // the prefix opened the monitor's named job; EndDocPort closes it
  PF_JOB_REPORT_DUE = 0x800,    // the named job was closed: the printer's report of its end is due
  PF_MODEL_3470 = 0x1000,       // model QV-L3470
  PF_MODEL_3820 = 0x2000,       // model QV-L3820
  PF_FAMILY_MODEL = 0x4000,     // model name begins with "QV-L"
  PF_FAMILY_MAKER = 0x8000,     // manufacturer is the maker; never cleared
  PF_DRUM_RESET = 0x10000,      // a drum counter reset command waits to be written
  PF_ORPHANED = 0x20000,        // Shutdown returned without it: its thread closes and frees it
  PF_THREAD_LEAVING = 0x40000,  // the status thread has decided to leave and is cleaning up
  PF_LOCAL_PORT = 0x80000,      // NT: a USB or parallel port (it answered the device ID)
};

// Spooler status bits of conditions that need someone at the printer (a door, a jam, paper,
// offline, service): a status thread that leaves does not clear them; the printer's next report
// does.
enum : DWORD {
  STATUS_NEEDS_SOMEONE = PRINTER_STATUS_DOOR_OPEN | PRINTER_STATUS_PAPER_JAM |
                         PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_PAPER_PROBLEM |
                         PRINTER_STATUS_OFFLINE | PRINTER_STATUS_USER_INTERVENTION |
                         PRINTER_STATUS_ERROR,
};

enum : DWORD { PORT_RECORD_SIGNATURE = 0x4F50 };

struct MonitorFace;
struct MonitorInstance;

struct PortRecord {
  DWORD signature;    // PORT_RECORD_SIGNATURE
  DWORD size;         // bytes allocated: fixed fields plus port name and NUL
  PortRecord* next;   // next record of the port list
  char* portName;     // points at portNameText
  DWORD flags;        // PF_ bits
  char* printerName;  // guarded copy of the last printer name given, or NULL
  DWORD jobId;        // spooler job id of the last successful StartDocPort
  HANDLE hPort;       // the port monitor's handle
  BOOL lowerOpen;     // hPort is open: the last reference closes it
  // References that keep the record alive: one for the port list, one for each caller that
  // works on it outside the monitor lock (Hold/ReleasePortRecord).
  DWORD references;
  HANDLE hPrinter;        // OpenPrinterA handle, 0 while closed
  HANDLE hWakeEvent;      // auto-reset; wakes the status thread; 0 once the thread ended
  HANDLE hReadDoneEvent;  // manual-reset; clear while a read of replies is under way
  DWORD printerStatus;    // PRINTER_STATUS_ bits last set for the printer
  DWORD noReplyTick;      // tick of the first empty poll since the last reply, else 0
  DWORD availableMemory;  // last available memory reported
  DWORD installedMemory;  // last installed memory reported
  // The number after "QV-L" in the last device ID read on this port that named a QV-L model
  // (0 until one did): the model this port's codes are published with on the NT face.
  DWORD modelNumber;
  // The NT face's repeat memory (see IsShownRepeat): the last toner or drum code of this
  // port's printer on the status board. The Windows 95 face keeps one for the module.
  DWORD lastRepeatCode;
  DWORD prefixSent;  // bytes of the PJL prefix already written in this lower job
  // This job's prefix (kPrefix, or jobPrefix for a named job) and its length: set by the job
  // start under the prefix lock, before PF_PJL_PREFIX.
  const char* prefixText;
  DWORD prefixLength;
  // Named jobs (PF_NAMED_JOBS): the jobs started on this port, the run number in the name
  // "QVLLINK <job id>.<run>" (a job the spooler restarts gets a new name); the prefix that
  // opens the job and the text that closes it (a constant while the job's end is due: an owed
  // request may point into it).
  DWORD jobRun;
  char jobPrefix[192];
  char jobClose[80];
  // The last named job's close never reached the printer (dropped at a job start): the next
  // named prefix closes it first, or the printer would count every later job inside it.
  BOOL jobLeftOpen;
  // The last status code one of the maker's printers reported to this thread (0: none yet):
  // its deferred end waits while the code stops printing.
  DWORD familyCode;
  // A memory request the port took in part (PF_REQUEST_OWED): a constant text, its length and
  // the bytes of it already out.
  const char* requestText;
  DWORD requestLength;
  DWORD requestSent;
  // Held while the prefix or a request is written, finished or dropped: the spooler's writes, a
  // memory query's request, a drum reset and a job start never handle them at the same time.
  CRITICAL_SECTION prefixLock;
  MONITOR portMonitor;  // copy of the port monitor's table (the Windows 95 face)
  // The spooler generation that opened the port (monitor_face.h) and its monitor instance; both
  // NULL for the Windows 95 face. faceData is what that face keeps of the port.
  const MonitorFace* face;
  MonitorInstance* instance;
  void* faceData;
  HMODULE threadModule;  // the status thread's hold on the monitor, handed over at its start
  // Counts the lower jobs ended on this port: a reply kept from one is not glued to the next.
  DWORD lowerJobSerial;
  // Carried between reads: an unfinished reply at the end of a short read (see ReadReplies),
  // read while lowerJobSerial was replyKeptSerial.
  DWORD replyKept;
  DWORD replyKeptSerial;
  char replyBuffer[1024];
  char portNameText[1];  // the port name, NUL-terminated; the record grows with it
};

// Flag changes as one atomic step each: a spooler thread and the status thread never undo each
// other's bits. The Test forms return the flags as they were before the change.
inline void SetPortFlags(PortRecord* record, DWORD bits) {
  TestAndSetBits(&record->flags, bits);
}
inline void ClearPortFlags(PortRecord* record, DWORD bits) {
  TestAndClearBits(&record->flags, bits);
}
inline DWORD TestAndSetPortFlags(PortRecord* record, DWORD bits) {
  return TestAndSetBits(&record->flags, bits);
}
inline DWORD TestAndClearPortFlags(PortRecord* record, DWORD bits) {
  return TestAndClearBits(&record->flags, bits);
}
inline DWORD PortFlags(const PortRecord* record) {
  return LoadShared(&record->flags);
}
inline bool HasPortFlags(const PortRecord* record, DWORD bits) {
  return (PortFlags(record) & bits) != 0;
}

// printerStatus is written only by the port's status thread and read by WritePort.
inline void StorePrinterStatus(PortRecord* record, DWORD status) {
  StoreShared(&record->printerStatus, status);
}

void EnterMonitorLock();
void LeaveMonitorLock();
void InitializeMonitorLock();

// The head of the port list; the caller holds the monitor lock.
PortRecord* PortListHead();

// The caller holds the monitor lock for these three.
// A record for portName, its printer named printerName opened (the Windows 95 face), appended
// to the port list.
PortRecord* CreatePortRecord(LPCSTR portName, LPCSTR printerName);
PortRecord* FindPortRecord(PortRecord* first, LPCSTR portName);
// Takes the record out of the list and lets go of the list's reference (see below); FALSE
// when it was not in the list.
BOOL FreePortRecord(PortRecord* record);
// The two halves of FreePortRecord for a caller that must not call out under the lock:
// UnlinkPortRecord (monitor lock held), then ReleasePortRecord after the lock.
BOOL UnlinkPortRecord(PortRecord* record);

// A reference that keeps a record alive across a call made outside the monitor lock (the port
// monitor's, the spooler's): taken with the monitor lock held, or by a caller holding one
// already. The last reference let go closes the port below (when it was opened), closes the
// printer handle and frees the record; a ClosePort or Shutdown in the meantime only takes the
// record out of the list. ReleasePortRecord is called without the monitor lock.
void HoldPortRecord(PortRecord* record);
void ReleasePortRecord(PortRecord* record);
// The pieces of CreatePortRecord that serve every face: a zero-filled record holding portName,
// and its place at the tail of the list (monitor lock held).
PortRecord* AllocatePortRecord(LPCSTR portName);
void AppendPortRecord(PortRecord* record);
