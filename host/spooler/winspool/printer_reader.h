// The printer functions a user's program calls on the stand-in's printers (the display program
// reading what the monitor publishes), served from the printer store in any process with the
// real functions' signatures, errors and buffer rules. Plain types only: our winspool.drv
// defines the exported functions of the same names and must not see the Windows declarations.
// While no qvlspool runs every call fails with RPC_S_SERVER_UNAVAILABLE, as with a stopped
// spooler.
#pragma once

#include <windows.h>

// A handle of OpenPrinterW here (not one of qvlspool's monitor handles).
bool ReaderHandle(HANDLE printer);
// defaults: a PRINTER_DEFAULTSW or NULL; a NULL or 0 DesiredAccess asks PRINTER_ACCESS_USE.
BOOL ReaderOpenPrinter(const WCHAR* name, HANDLE* printer, const void* defaults);
BOOL ReaderClosePrinter(HANDLE printer);
// Levels 1, 2 and 4; flags PRINTER_ENUM_LOCAL and/or PRINTER_ENUM_CONNECTIONS; name NULL.
// own: only the printers this process serves (in qvlspool's process, for its monitor).
BOOL ReaderEnumPrinters(DWORD flags, const WCHAR* name, DWORD level, BYTE* buffer, DWORD size,
                        DWORD* needed, DWORD* returned, bool own);
DWORD ReaderGetPrinterDataEx(HANDLE printer, const WCHAR* key, const WCHAR* value, DWORD* type,
                             BYTE* data, DWORD size, DWORD* needed);
// Set and delete need a handle opened with PRINTER_ACCESS_ADMINISTER.
DWORD ReaderSetPrinterDataEx(HANDLE printer, const WCHAR* key, const WCHAR* value, DWORD type,
                             const BYTE* data, DWORD size);
DWORD ReaderDeletePrinterDataEx(HANDLE printer, const WCHAR* key, const WCHAR* value);
// Level 1 (JOB_INFO_1W); first counts from 0 in queue order.
BOOL ReaderEnumJobs(HANDLE printer, DWORD first, DWORD count, DWORD level, BYTE* buffer, DWORD size,
                    DWORD* needed, DWORD* returned);

// Change notification (reader_notify.cpp): a manual-reset event set on the printer's status
// changes (PRINTER_CHANGE_SET_PRINTER) and its jobs added and removed (PRINTER_CHANGE_ADD_JOB,
// PRINTER_CHANGE_DELETE_JOB), as the filter asks; not on printer data. INVALID_HANDLE_VALUE on
// failure.
HANDLE ReaderFindFirstChange(HANDLE printer, DWORD filter, DWORD options, void* notifyOptions);
bool ReaderChangeHandle(HANDLE change);
// Resets the event; *changes: what changed since the last call.
BOOL ReaderFindNextChange(HANDLE change, DWORD* changes, void* notifyOptions, void** notifyInfo);
BOOL ReaderFindCloseChange(HANDLE change);

// Inside the reader: the handle's printer (key name, room 256), its access and serving spooler.
struct ReaderPrinter {
  WCHAR printer[256];
  DWORD access;  // PRINTER_ACCESS_USE and/or PRINTER_ACCESS_ADMINISTER
  DWORD ownerPid;
  FILETIME ownerStart;
};
// ERROR_SUCCESS with *out filled while the printer is still served; else the call's error.
DWORD ReaderLookUp(HANDLE printer, ReaderPrinter* out);
