// The NT face of the monitor (Windows 2000 and later): what it keeps of each monitor instance
// and each port, its face table, and the pieces its files share. Windows builds only.
#pragma once

#include "monitor_face.h"
#include "spooler_nt.h"

// ---- One monitor instance (MonitorInstance::faceData): the spooler's handle and registry
// callbacks, which must not be used once Shutdown has begun.
struct NtInstance {
  HANDLE spooler;            // MONITORINIT::hSpooler, passed last to every callback
  HANDLE registryRoot;       // MONITORINIT::hckRegistryRoot: the monitor's own key
  MONITORREG registry;       // the callbacks (a copy; slots the spooler left out are NULL)
  CRITICAL_SECTION calls;    // held while a callback runs; Shutdown takes it to end them
  BOOL shutDown;             // set by Shutdown under calls
  MonitorInstance* monitor;  // the instance this belongs to
  // The spooler's printer functions (OpenPrinterW, SetPrinterW, SetPrinterDataW, SetJobW): the
  // calls under way, and whether Shutdown has returned, after which none starts.
  DWORD printerCalls;
  BOOL printerCallsEnded;
  // A clustered spooler (MONITORINIT::bLocal FALSE) holds the printers of a virtual server:
  // they are opened as "\\server\printer". NULL for the local spooler.
  WCHAR* serverName;
  // The display link publishes for this instance's printers (nt_display.cpp).
  BOOL publishing;
};

// Shutdown's last act: no printer function of the spooler is called for the instance after
// this returns (it waits at most waitMs for the calls under way).
void EndPrinterCalls(NtInstance* nt, DWORD waitMs);

inline NtInstance* NtInstanceOf(const MonitorInstance* instance) {
  return static_cast<NtInstance*>(instance->faceData);
}

// ---- One port (PortRecord::faceData): the port monitor's functions and the wide names.
struct NtPort {
  BOOL(WINAPI* startDocPort)(HANDLE, LPWSTR, DWORD, DWORD, LPBYTE);
  BOOL(WINAPI* writePort)(HANDLE, LPBYTE, DWORD, LPDWORD);
  BOOL(WINAPI* readPort)(HANDLE, LPBYTE, DWORD, LPDWORD);
  BOOL(WINAPI* endDocPort)(HANDLE);
  BOOL(WINAPI* closePort)(HANDLE);
  BOOL(WINAPI* getPrinterDataFromPort)
  (HANDLE, DWORD, LPWSTR, LPWSTR, DWORD, LPWSTR, DWORD, LPDWORD);
  // NULL when the port monitor's table is too short to hold it or leaves it out.
  DWORD(WINAPI* sendRecvBidiDataFromPort)
  (HANDLE, DWORD, LPCWSTR, PBIDI_REQUEST_CONTAINER, PBIDI_RESPONSE_CONTAINER*);
  WCHAR* portName;     // as OpenPortEx received it
  WCHAR* printerName;  // the spooler's name of the printer, as last given
  // The display link: a code of this port was published since its status thread started.
  BOOL shown;
  // The printer of the lower job, opened at its start: its end is told on this handle, which
  // stays the printer's when the user renames it in the meantime.
  HANDLE jobPrinter;
  // A network port's printer, asked over IPP (nt_network.h); NULL for other ports.
  struct NtNetwork* network;
};

inline NtPort* NtPortOf(const PortRecord* port) {
  return static_cast<NtPort*>(port->faceData);
}

extern const MonitorFace NtFace;

// The spooler's wide printer functions, found at run time in the loaded winspool.drv (the
// Windows 95 generation has none of them; the DLL must still load there). NULL where missing.
struct NtSpoolerFunctions {
  BOOL(WINAPI* openPrinter)(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
  BOOL(WINAPI* setPrinter)(HANDLE printer, DWORD level, LPBYTE info, DWORD command);
  DWORD(WINAPI* setPrinterData)(HANDLE printer, LPWSTR name, DWORD type, LPBYTE data, DWORD size);
  BOOL(WINAPI* setJob)(HANDLE printer, DWORD jobId, DWORD level, LPBYTE info, DWORD command);
};
extern NtSpoolerFunctions NtSpooler;
void FindNtSpoolerFunctions();

// ---- The display link (nt_display.cpp; session_link.h): each printer's status as printer data,
// written by one publishing thread per process. Its lock is a leaf: the monitor lock is never
// taken while it is held.
// The instance's printers are published for from now on (InitializePrintMonitor2) / no more:
// their handles are closed before this returns (Shutdown, before the spooler calls end).
void StartNtPublishing(MonitorInstance* instance);
void EndNtPublishing(MonitorInstance* instance);
// The face's display operations: they hand the publisher what to write and call no spooler
// function themselves (they run inside calls the spooler made into the monitor too).
void ShowCodeAsPrinterData(PortRecord* port, DWORD code);
// A port of the printer opened: a printer with nothing published in this spooler start gets a
// status with no code and its thread ended.
void AnnounceNtPrinter(PortRecord* port);
void* ThreadEndingAsPrinterData(PortRecord* port);
void ThreadEndedAsPrinterData(void* ending);

// Reads the instance's four time-outs through the spooler's registry callbacks, writing the
// defaults back where a value is missing; any failure leaves the defaults. Not after Shutdown.
void ReadNtSettings(MonitorInstance* instance);
// The printer address given for a network port (its IPP URI, plain ASCII, at most room - 1
// characters), under the monitor's key: subkey PORT_URIS_KEY_NAME, a value named as the port.
// False, with uri empty, when none is given.
enum { PORT_URI_MAX = 512 };
#define PORT_URIS_KEY_NAME "Ports"
bool ReadNtPortUri(MonitorInstance* instance, LPCWSTR portName, char* uri, DWORD room);

// ---- Wide text without the system's W functions (most are missing on the Windows 95
// generation, where this DLL must still load).
DWORD WideLength(LPCWSTR text);
// A copy in memory of the process heap; NULL for NULL or when memory is short.
WCHAR* CopyWide(LPCWSTR text);
void FreeWide(WCHAR* text);
// "\\server\name" (server with or without its backslashes), or a copy of name for no server;
// NULL when memory is short. Freed with FreeWide.
WCHAR* ServerPrinterName(LPCWSTR server, LPCWSTR name);
// Equal, letter case counting.
bool SameWide(LPCWSTR a, LPCWSTR b);
// Equal with the letters A to Z in either case (port names).
bool SameWideIgnoringCase(LPCWSTR a, LPCWSTR b);
// An ANSI stand-in of the text for the port record's name: ASCII kept, anything else '?'.
void WideToAsciiName(LPCWSTR text, char* out, DWORD size);
