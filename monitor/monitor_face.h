// The monitor's two faces. The core (port records, port operations, status thread, parsers,
// status application) serves the Windows 95-generation spooler and the NT-family spooler alike;
// what differs between them is reached only through a face: one table of operations per spooler
// generation, filled once, for each party outside the monitor (the port monitor below, the
// spooler's printer functions, the settings store, the display link). A port record names the
// face that opened it; a zero-filled record (face NULL) is a Windows 95 port.
#pragma once

#include "port_record.h"
#include "settings.h"

// One instance of the monitor, as a spooler that loads it more than once (one per cluster node)
// sees it. The Windows 95 face has a single instance: the module-wide settings (settings.h),
// and records of that face carry a NULL instance.
struct MonitorInstance {
  MonitorSettings settings;
  void* faceData;  // what the face keeps of the instance
};

struct MonitorFace {
  // ---- The port monitor below, reached with the record's hPort. printerName and docInfo are
  // passed on unchanged, in the face's own form (ANSI or wide, DOC_INFO_1/2 A or W).
  BOOL(*startLowerDoc)
  (PortRecord* port, LPVOID printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
  BOOL (*writeLower)(PortRecord* port, LPBYTE data, DWORD count, LPDWORD written);
  BOOL (*readLower)(PortRecord* port, LPBYTE buffer, DWORD size, LPDWORD read);
  BOOL (*endLowerDoc)(PortRecord* port);
  BOOL (*closeLower)(PortRecord* port);
  // The printer's IEEE 1284 device ID, NUL-terminated, into id (DEVICE_ID_BUFFER + 1 bytes,
  // zero-filled by the caller). FALSE when the port gave none.
  BOOL (*readDeviceId)(PortRecord* port, char* id);

  // ---- The spooler's printer functions.
  // Whether name (the face's form) equals the printer name the record keeps, letter case
  // counting; a record that keeps none equals nothing.
  BOOL (*samePrinterName)(const PortRecord* port, LPCVOID name);
  // Keeps a copy of name (the face's form) in place of the record's printer name.
  void (*keepPrinterName)(PortRecord* port, LPCVOID name);
  // Opens the printer named name (the face's form; default access); NULL when it cannot.
  HANDLE (*openPrinter)(PortRecord* port, LPCVOID name);
  // The printer's spooler status (level 0, PRINTER_CONTROL_SET_STATUS).
  void (*setPrinterStatus)(PortRecord* port, HANDLE printer, DWORD status);
  // A memory size as printer data (REG_DWORD) under "Installed Memory" or "Available Memory".
  void (*setMemoryData)(PortRecord* port, HANDLE printer, BOOL installed, DWORD value);
  // The lower job of job id has ended: the spooler may count the job printed.
  void (*lowerJobEnded)(PortRecord* port, DWORD jobId);
  // Frees what the face keeps of the port (its printer name, its data), as the record goes.
  void (*releasePort)(PortRecord* port);

  // ---- The display link.
  // A status code of one of the maker's printers for the display program.
  void (*showCode)(PortRecord* port, DWORD code);
  // The port's status thread ends. Ending runs with the monitor lock held, while the record is
  // still there, and returns what Ended needs (NULL: nothing to do); Ended runs after the lock
  // is released, when the record may be gone: it tells the display program.
  void* (*statusThreadEnding)(PortRecord* port);
  void (*statusThreadEnded)(void* ending);

  // ---- Settings and threads.
  // Reads the instance's four time-outs (defaults written back where missing).
  void (*readSettings)(MonitorInstance* instance);
  // The display program's drum counter reset request for this port's status thread (an event
  // it polls), or NULL when the face has none.
  HANDLE (*openDrumRequest)(PortRecord* port);
  // A reference that keeps the monitor loaded while a status thread runs (NULL: none needed),
  // and its release: by the thread as its last act (exitThread TRUE: does not return), or when
  // the thread could not be started.
  HMODULE (*holdModule)(void);
  void (*releaseModule)(HMODULE module, BOOL exitThread);

  // ---- A network printer, asked for its status over IPP (the NT face; the Windows 95 face has
  // none: both answer false).
  // The port's printer is a network one that can be asked (called at the job start).
  bool (*isNetworkPort)(const PortRecord* port);
  // One poll, on the port's status thread only (first: the thread's first poll, which tells
  // what it finds even when the last thread found the same). False when nothing was polled.
  bool (*pollNetwork)(PortRecord* port, bool first);
};

static_assert(sizeof(MonitorFace) == 22 * sizeof(void*), "one pointer per operation");

// The face of the Windows 95-generation spooler (face_win95.cpp).
extern const MonitorFace Win95Face;

inline const MonitorFace* FaceOf(const PortRecord* port) {
  return port->face != NULL ? port->face : &Win95Face;
}

// A deferred job end completes after this much silence of the port's printer.
DWORD IdleTimeoutOf(const PortRecord* port);
