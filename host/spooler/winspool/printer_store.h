// The stand-in spooler's printers as every process sees them. Under Wine all processes share one
// registry, so the store keeps them under HKEY_LOCAL_MACHINE\SOFTWARE\QVL Stand-in\Spooler: the
// qvlspool processes running, one key per printer (its owner, denied rights, status, printer
// data, jobs and change watchers) and the user's printer connections. Printer data outlives the
// qvlspool that wrote it (a spooler started again finds it, also after a crash); jobs do not.
// Linked into qvlspool.exe (which registers and changes printers) and our winspool.drv (whose
// readers in any process look them up). Names are wide; errors are Win32 error codes.
#pragma once

#include <windows.h>
#include <stdint.h>

enum : uint32_t {
  STORE_NAME_ROOM = 256,  // a printer, server, owner, machine or document name and its NUL
  STORE_MAX_PRINTERS = 32,
  STORE_MAX_JOBS = 64,
  STORE_DENY_USE = 1,         // OpenPrinterW with PRINTER_ACCESS_USE is refused
  STORE_DENY_ADMINISTER = 2,  // and with PRINTER_ACCESS_ADMINISTER
  STORE_DENY_LOCAL = 4,       // a print server's printer: reached only through a connection
};

// A qvlspool process; its start time tells it from a later process given the same id.
struct StoreProcess {
  DWORD pid;
  FILETIME start;
};

// --- qvlspool's side ---
// This process is a running spooler from now on; false when the store cannot be written.
bool StoreSpoolerStart();
// This process's printers lose their jobs and it is a running spooler no more.
void StoreSpoolerEnd();
// The printer is this process's from now on: its key made or kept with its data, its jobs,
// connections and change watchers of an earlier run dropped, denied the rights given.
bool StoreRegisterPrinter(const WCHAR* name, uint32_t denied);
// The user's connection \\server\printer to a printer of this process.
bool StoreAddConnection(const WCHAR* server, const WCHAR* printer);
// The printer's key moves to the new name, with its data and jobs.
bool StoreRenamePrinter(const WCHAR* from, const WCHAR* to);
// The spooler status of the printer (SetPrinterW); watchers of PRINTER_CHANGE_SET_PRINTER hear.
void StoreSetStatus(const WCHAR* printer, DWORD status);

// --- any process ---
// ERROR_SUCCESS while a qvlspool runs, else RPC_S_SERVER_UNAVAILABLE.
DWORD StoreSpoolerRunning();
// Finds a printer served now by its name, or by a connection's \\server\name: its key name
// (room STORE_NAME_ROOM), its serving process and denied rights. ERROR_INVALID_PRINTER_NAME
// when there is none, RPC_S_SERVER_UNAVAILABLE when no qvlspool runs.
DWORD StoreFindPrinter(const WCHAR* name, WCHAR* printer, StoreProcess* owner, uint32_t* denied);
// ERROR_SUCCESS while the printer is still served by owner (the process that served it when it
// was found), else RPC_S_SERVER_UNAVAILABLE: the spooler that handed out the handle is gone.
DWORD StoreStillServed(const WCHAR* printer, const StoreProcess& owner);

// A printer as EnumPrintersW lists it: a local printer (server "") or a connection.
struct StoreListed {
  WCHAR name[STORE_NAME_ROOM];    // the printer's name, or \\server\name of a connection
  WCHAR server[STORE_NAME_ROOM];  // "\\server" of a connection, else ""
  DWORD status;
  DWORD jobs;
};
// Local printers (local) and connections (connections) served now, at most room; the count.
// own: only those this process serves (a qvlspool's own monitor lists its spooler's printers,
// not those of another qvlspool running beside it).
uint32_t StoreListPrinters(bool local, bool connections, bool own, StoreListed* out, uint32_t room);

// Printer data under key, as the registry functions give it: ERROR_FILE_NOT_FOUND when the key
// or value is missing, ERROR_MORE_DATA (needed set) when size is too small.
DWORD StoreGetData(const WCHAR* printer, const WCHAR* key, const WCHAR* value, DWORD* type,
                   BYTE* data, DWORD size, DWORD* needed);
DWORD StoreSetData(const WCHAR* printer, const WCHAR* key, const WCHAR* value, DWORD type,
                   const BYTE* data, DWORD size);
DWORD StoreDeleteData(const WCHAR* printer, const WCHAR* key, const WCHAR* value);

// A job in a printer's queue, from StartDocPort until the monitor tells its last page ejected.
struct StoreJob {
  DWORD id;
  DWORD status;  // JOB_STATUS_ bits
  DWORD pages;   // total pages, 0 when not known
  SYSTEMTIME submitted;
  WCHAR document[STORE_NAME_ROOM];
  WCHAR owner[STORE_NAME_ROOM];
  WCHAR machine[STORE_NAME_ROOM];  // "\\computer", as EnumJobsW gives it
};
// store_jobs.cpp. Added or removed, the printer's watchers of PRINTER_CHANGE_ADD_JOB or
// PRINTER_CHANGE_DELETE_JOB hear.
bool StoreAddJob(const WCHAR* printer, const StoreJob& job);
void StoreRemoveJob(const WCHAR* printer, DWORD id);
// The printer's jobs in queue order, at most room; the count.
uint32_t StoreListJobs(const WCHAR* printer, StoreJob* out, uint32_t room);

// store_watch.cpp: a change watcher of a printer is a named event of the reader's, set by the
// spooler's process when a change of the watcher's filter comes, with the changes noted
// ("pending") until the reader takes them.
bool StoreWatch(const WCHAR* printer, const WCHAR* event, DWORD filter);
// The changes noted since the last take (0: none), cleared.
DWORD StoreWatchTake(const WCHAR* printer, const WCHAR* event);
void StoreUnwatch(const WCHAR* printer, const WCHAR* event);
