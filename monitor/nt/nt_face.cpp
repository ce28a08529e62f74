// The face of the NT-family spooler: the port monitor's MONITOR2 functions with the port's
// handle, the printer's device ID through the USB and parallel ports' device I/O controls, the
// wide printer functions with the names the spooler gave, SetJob at every job's real end, the
// settings through the spooler's registry callbacks, and a hold on the DLL for each status
// thread (this spooler unloads a monitor after Shutdown).
#include "identify.h"
#include "monitor_entry.h"
#include "nt_monitor.h"
#include "nt_network.h"
#include "printer_data.h"

NtSpoolerFunctions NtSpooler = {};

namespace {

const WCHAR kInstalledMemoryW[] = L"" INSTALLED_MEMORY_TEXT;
const WCHAR kAvailableMemoryW[] = L"" AVAILABLE_MEMORY_TEXT;

// USB print ports fail device ID requests with buffers of more than this many bytes.
const DWORD kUsbIdBufferLimit = 4094;
// The two bytes of length ahead of the ID in a USB port's answer (IEEE 1284: big-endian,
// counting themselves).
const DWORD kIdLengthBytes = 2;

HANDLE OpenPrinterNamed(PortRecord* port, LPCVOID name);

BOOL StartLowerDoc(PortRecord* port, LPVOID printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
  NtPort* nt = NtPortOf(port);
  if (!nt->startDocPort(port->hPort, static_cast<LPWSTR>(printerName), jobId, level, docInfo)) {
    return FALSE;
  }
  // What the job's end needs is taken now (the end of the job before has taken its own).
  HANDLE left = ExchangeShared(&nt->jobPrinter, OpenPrinterNamed(port, printerName));
  if (left != NULL) ClosePrinter(left);
  return TRUE;
}
BOOL WriteLower(PortRecord* port, LPBYTE data, DWORD count, LPDWORD written) {
  return NtPortOf(port)->writePort(port->hPort, data, count, written);
}
BOOL ReadLower(PortRecord* port, LPBYTE buffer, DWORD size, LPDWORD read) {
  return NtPortOf(port)->readPort(port->hPort, buffer, size, read);
}
BOOL EndLowerDoc(PortRecord* port) {
  return NtPortOf(port)->endDocPort(port->hPort);
}
BOOL CloseLower(PortRecord* port) {
  return NtPortOf(port)->closePort(port->hPort);
}

BOOL AskPort(PortRecord* port, DWORD code, BYTE* buffer, DWORD size, DWORD* returned) {
  *returned = 0;
  return NtPortOf(port)->getPrinterDataFromPort(port->hPort, code, NULL, NULL, 0,
                                                reinterpret_cast<LPWSTR>(buffer), size, returned) &&
         *returned != 0 && *returned <= size;
}

// Copies at most DEVICE_ID_BUFFER bytes of an ID of length bytes; the text ends at its NUL.
BOOL TakeId(const BYTE* text, DWORD length, char* id) {
  if (length > DEVICE_ID_BUFFER) length = DEVICE_ID_BUFFER;
  for (DWORD i = 0; i < length; ++i) id[i] = static_cast<char>(text[i]);
  return length != 0 && id[0] != '\0';
}

// A USB print port answers the length, the ID and a NUL. A port that finds the buffer too small
// for a long ID is asked again with the largest buffer such ports take; the ID is then cut.
BOOL ReadUsbId(PortRecord* port, char* id) {
  BYTE offered[kIdLengthBytes + DEVICE_ID_BUFFER];
  BYTE* buffer = offered;
  DWORD size = sizeof offered;
  DWORD returned = 0;
  BOOL ok = AskPort(port, IOCTL_USBPRINT_GET_1284_ID, buffer, size, &returned);
  const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
  if (!ok && (error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_MORE_DATA)) {
    buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, kUsbIdBufferLimit));
    size = kUsbIdBufferLimit;
    ok = buffer != NULL && AskPort(port, IOCTL_USBPRINT_GET_1284_ID, buffer, size, &returned);
  }
  BOOL found = FALSE;
  if (ok && returned > kIdLengthBytes) {
    DWORD length = (static_cast<DWORD>(buffer[0]) << 8) | buffer[1];
    DWORD text = returned - kIdLengthBytes;
    if (length >= kIdLengthBytes && length - kIdLengthBytes < text) text = length - kIdLengthBytes;
    found = TakeId(buffer + kIdLengthBytes, text, id);
  }
  if (buffer != offered && buffer != NULL) LocalFree(buffer);
  return found;
}

// A parallel port answers the ID and a NUL.
BOOL ReadParallelId(PortRecord* port, char* id) {
  BYTE buffer[DEVICE_ID_BUFFER];
  DWORD returned = 0;
  return AskPort(port, IOCTL_PAR_QUERY_DEVICE_ID, buffer, sizeof buffer, &returned) &&
         TakeId(buffer, returned, id);
}

// A network port answers neither. The printer is then not asked over the port either: an
// unidentified printer gets no PJL, which a printer that does not speak it might print.
BOOL ReadDeviceId(PortRecord* port, char* id) {
  if (NtPortOf(port)->getPrinterDataFromPort == NULL) return FALSE;
  BOOL found = ReadUsbId(port, id);
  if (!found) {
    for (DWORD i = 0; i <= DEVICE_ID_BUFFER; ++i) id[i] = '\0';
    found = ReadParallelId(port, id);
  }
  // A port that answers either is a USB or parallel port: watching its printer between jobs
  // keeps out no one.
  if (found) {
    SetPortFlags(port, PF_LOCAL_PORT);
  } else {
    ClearPortFlags(port, PF_LOCAL_PORT);
  }
  return found;
}

// Every printer function of the spooler goes through this gate, so none is called after
// Shutdown: the call counts itself first, then looks whether Shutdown has ended the calls, which
// sets the mark first, then waits for the count to fall to 0.
bool BeginPrinterCall(const PortRecord* port) {
  if (port->instance == NULL) return true;
  NtInstance* nt = NtInstanceOf(port->instance);
  IncrementShared(&nt->printerCalls);
  if (!LoadShared(&nt->printerCallsEnded)) return true;
  DecrementShared(&nt->printerCalls);
  return false;
}
void EndPrinterCall(const PortRecord* port) {
  if (port->instance != NULL) DecrementShared(&NtInstanceOf(port->instance)->printerCalls);
}

BOOL SamePrinterName(const PortRecord* port, LPCVOID name) {
  const WCHAR* kept = NtPortOf(port)->printerName;
  return kept != NULL && name != NULL && SameWide(static_cast<LPCWSTR>(name), kept);
}
void KeepPrinterName(PortRecord* port, LPCVOID name) {
  NtPort* nt = NtPortOf(port);
  FreeWide(nt->printerName);
  nt->printerName = CopyWide(static_cast<LPCWSTR>(name));
}
// Opens the printer of this spooler named name: on a clustered spooler as
// "\\server\name", the printer of the virtual server the instance serves. The caller has
// passed the gate.
HANDLE OpenSpoolerPrinter(const PortRecord* port, LPCWSTR name) {
  HANDLE printer = NULL;
  if (name == NULL) return NULL;
  const WCHAR* server = port->instance != NULL ? NtInstanceOf(port->instance)->serverName : NULL;
  if (server == NULL) {
    if (!NtSpooler.openPrinter(const_cast<LPWSTR>(name), &printer, NULL)) printer = NULL;
    return printer;
  }
  WCHAR* full = ServerPrinterName(server, name);
  if (full == NULL) return NULL;
  if (!NtSpooler.openPrinter(full, &printer, NULL)) printer = NULL;
  LocalFree(full);
  return printer;
}

HANDLE OpenPrinterNamed(PortRecord* port, LPCVOID name) {
  if (NtSpooler.openPrinter == NULL || name == NULL || !BeginPrinterCall(port)) return NULL;
  HANDLE printer = OpenSpoolerPrinter(port, static_cast<LPCWSTR>(name));
  EndPrinterCall(port);
  return printer;
}
void SetPrinterStatus(PortRecord* port, HANDLE printer, DWORD status) {
  if (NtSpooler.setPrinter == NULL || !BeginPrinterCall(port)) return;
  NtSpooler.setPrinter(printer, 0, reinterpret_cast<LPBYTE>(static_cast<ULONG_PTR>(status)),
                       PRINTER_CONTROL_SET_STATUS);
  EndPrinterCall(port);
}
void SetMemoryData(PortRecord* port, HANDLE printer, BOOL installed, DWORD value) {
  if (NtSpooler.setPrinterData == NULL || !BeginPrinterCall(port)) return;
  NtSpooler.setPrinterData(printer,
                           const_cast<LPWSTR>(installed ? kInstalledMemoryW : kAvailableMemoryW),
                           REG_DWORD, reinterpret_cast<LPBYTE>(&value), sizeof value);
  EndPrinterCall(port);
}

// With a language monitor in the path the spooler keeps a job until it is told the last page
// is out. A handle of its own: the port's may be closed already when a deferred end completes.
void LowerJobEnded(PortRecord* port, DWORD jobId) {
  HANDLE printer = ExchangeShared(&NtPortOf(port)->jobPrinter, NULL);
  if (NtSpooler.setJob != NULL && NtSpooler.openPrinter != NULL && BeginPrinterCall(port)) {
    // The handle of the job's start; by the name as last given when none could be opened then.
    if (printer == NULL) printer = OpenSpoolerPrinter(port, NtPortOf(port)->printerName);
    if (printer != NULL) NtSpooler.setJob(printer, jobId, 0, NULL, JOB_CONTROL_LAST_PAGE_EJECTED);
    EndPrinterCall(port);
  }
  if (printer != NULL) ClosePrinter(printer);
}

void ReleasePort(PortRecord* port) {
  NtPort* nt = NtPortOf(port);
  if (nt == NULL) return;
  HANDLE jobPrinter = ExchangeShared(&nt->jobPrinter, NULL);
  if (jobPrinter != NULL) ClosePrinter(jobPrinter);
  NtNetworkFree(nt->network);
  FreeWide(nt->portName);
  FreeWide(nt->printerName);
  LocalFree(nt);
  port->faceData = NULL;
}

// A reference of the thread's own on this DLL: the spooler unloads the monitor after
// Shutdown, and a thread still finishing a read must not lose its code under it.
HMODULE HoldModule() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(MonitorModule, path, sizeof path);
  if (n == 0 || n >= sizeof path) return NULL;
  return LoadLibraryA(path);
}
void ReleaseModule(HMODULE module, BOOL exitThread) {
  if (exitThread) FreeLibraryAndExitThread(module, 0);
  FreeLibrary(module);
}

template <typename F>
void Find(HMODULE spooler, const char* name, F* slot) {
  *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(spooler, name)));
}

HANDLE NoDrumRequest(PortRecord*) {
  return NULL;
}

bool IsNetworkPort(const PortRecord* port) {
  return NtPortOf(port)->network != NULL;
}

bool PollNetwork(PortRecord* port, bool first) {
  return NtNetworkPoll(NtPortOf(port)->network, port, first);
}

}  // namespace

void EndPrinterCalls(NtInstance* nt, DWORD waitMs) {
  StoreShared(&nt->printerCallsEnded, TRUE);
  const DWORD start = GetTickCount();
  while (LoadShared(&nt->printerCalls) != 0 && GetTickCount() - start < waitMs) Sleep(1);
}

void FindNtSpoolerFunctions() {
  HMODULE spooler = GetModuleHandleA("winspool.drv");
  if (spooler == NULL) return;
  Find(spooler, "OpenPrinterW", &NtSpooler.openPrinter);
  Find(spooler, "SetPrinterW", &NtSpooler.setPrinter);
  Find(spooler, "SetPrinterDataW", &NtSpooler.setPrinterData);
  Find(spooler, "SetJobW", &NtSpooler.setJob);
}

const MonitorFace NtFace = {
    StartLowerDoc,              // startLowerDoc
    WriteLower,                 // writeLower
    ReadLower,                  // readLower
    EndLowerDoc,                // endLowerDoc
    CloseLower,                 // closeLower
    ReadDeviceId,               // readDeviceId
    SamePrinterName,            // samePrinterName
    KeepPrinterName,            // keepPrinterName
    OpenPrinterNamed,           // openPrinter
    SetPrinterStatus,           // setPrinterStatus
    SetMemoryData,              // setMemoryData
    LowerJobEnded,              // lowerJobEnded
    ReleasePort,                // releasePort
    ShowCodeAsPrinterData,      // showCode (nt_display.cpp)
    ThreadEndingAsPrinterData,  // statusThreadEnding
    ThreadEndedAsPrinterData,   // statusThreadEnded
    ReadNtSettings,             // readSettings (nt_settings.cpp)
    NoDrumRequest,              // openDrumRequest: the publisher reads the users' requests
    HoldModule,                 // holdModule
    ReleaseModule,              // releaseModule
    IsNetworkPort,              // isNetworkPort
    PollNetwork,                // pollNetwork
};
