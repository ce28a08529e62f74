// The part of the Win32 interface that the monitor and the display program use, for native
// builds on POSIX systems. Names, types and values are the Windows ones, so the product code
// reads the same on both sides. The kernel and file functions have their bodies in
// win32_posix_*.cpp; the registry, the spooler client and the display link (windows, messages,
// program start, named mappings) have none here: a native program that calls them links its
// own. Programs steer the stand-in through win32_posix_hooks.h.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdarg.h>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef char CHAR;
typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef HANDLE* LPHANDLE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef uint16_t WCHAR;  // UTF-16 unit, as on Windows (wchar_t is wider here)
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef const char* LPCCH;
typedef BOOL* LPBOOL;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef uintptr_t SIZE_T;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef void* HLOCAL;
typedef void* HINSTANCE;
typedef void* HMODULE;
typedef struct HWND__* HWND;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;
typedef LONG LSTATUS;
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID);

#define TRUE 1
#define FALSE 0
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_BUSY 170L
#define ERROR_MORE_DATA 234L
#define ERROR_ALREADY_EXISTS 183L
#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define THREAD_PRIORITY_LOWEST (-2)
#define DLL_PROCESS_ATTACH 1
#define DLL_PROCESS_DETACH 0
#define SW_HIDE 0
#define WM_DESTROY 0x0002
#define WM_USER 0x0400
#define PAGE_READWRITE 0x04u
#define FILE_MAP_WRITE 0x0002u
#define FILE_MAP_READ 0x0004u
#define EVENT_ALL_ACCESS 0x1F0003u
#define SYNCHRONIZE 0x00100000u
#define EVENT_MODIFY_STATE 0x0002u
#define MAX_PATH 260
#define DUPLICATE_SAME_ACCESS 0x00000002u

#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define REG_DWORD 4u

#define PRINTER_CONTROL_SET_STATUS 4u
#define PRINTER_STATUS_PAUSED 0x00000001u
#define PRINTER_STATUS_ERROR 0x00000002u
#define PRINTER_STATUS_PENDING_DELETION 0x00000004u
#define PRINTER_STATUS_PAPER_JAM 0x00000008u
#define PRINTER_STATUS_PAPER_OUT 0x00000010u
#define PRINTER_STATUS_MANUAL_FEED 0x00000020u
#define PRINTER_STATUS_PAPER_PROBLEM 0x00000040u
#define PRINTER_STATUS_OFFLINE 0x00000080u
#define PRINTER_STATUS_IO_ACTIVE 0x00000100u
#define PRINTER_STATUS_BUSY 0x00000200u
#define PRINTER_STATUS_PRINTING 0x00000400u
#define PRINTER_STATUS_OUTPUT_BIN_FULL 0x00000800u
#define PRINTER_STATUS_NOT_AVAILABLE 0x00001000u
#define PRINTER_STATUS_WAITING 0x00002000u
#define PRINTER_STATUS_PROCESSING 0x00004000u
#define PRINTER_STATUS_INITIALIZING 0x00008000u
#define PRINTER_STATUS_WARMING_UP 0x00010000u
#define PRINTER_STATUS_TONER_LOW 0x00020000u
#define PRINTER_STATUS_NO_TONER 0x00040000u
#define PRINTER_STATUS_PAGE_PUNT 0x00080000u
#define PRINTER_STATUS_USER_INTERVENTION 0x00100000u
#define PRINTER_STATUS_OUT_OF_MEMORY 0x00200000u
#define PRINTER_STATUS_DOOR_OPEN 0x00400000u
#define PRINTER_STATUS_SERVER_UNKNOWN 0x00800000u
#define PRINTER_STATUS_POWER_SAVE 0x01000000u

typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef struct _COMMTIMEOUTS* LPCOMMTIMEOUTS;

typedef struct _DOC_INFO_1A {
  LPSTR pDocName;
  LPSTR pOutputFile;
  LPSTR pDatatype;
} DOC_INFO_1A;

typedef struct _DOC_INFO_2A {
  LPSTR pDocName;
  LPSTR pOutputFile;
  LPSTR pDatatype;
  DWORD dwMode;
  DWORD JobId;
} DOC_INFO_2A;

typedef struct _PRINTER_INFO_2A {
  LPSTR pServerName;
  LPSTR pPrinterName;
  LPSTR pShareName;
  LPSTR pPortName;
  LPSTR pDriverName;
  LPSTR pComment;
  LPSTR pLocation;
  void* pDevMode;
  LPSTR pSepFile;
  LPSTR pPrintProcessor;
  LPSTR pDatatype;
  LPSTR pParameters;
  void* pSecurityDescriptor;
  DWORD Attributes;
  DWORD Priority;
  DWORD DefaultPriority;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD Status;
  DWORD cJobs;
  DWORD AveragePPM;
} PRINTER_INFO_2A;

typedef struct _CRITICAL_SECTION {
  void* impl;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

// Kernel: synchronisation, threads, time, memory, strings, debug output.
void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES sa, BOOL manualReset, BOOL initialState, LPCSTR name);
HANDLE OpenEventA(DWORD access, BOOL inherit, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);
HANDLE GetCurrentProcess(void);
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target,
                     DWORD access, BOOL inherit, DWORD options);
HANDLE CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);
BOOL SetThreadPriority(HANDLE thread, int priority);
void Sleep(DWORD milliseconds);
DWORD GetTickCount(void);
DWORD GetLastError(void);
void SetLastError(DWORD error);
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL mem);
void OutputDebugStringA(LPCSTR text);
int wvsprintfA(LPSTR buffer, LPCSTR format, va_list args);
int wsprintfA(LPSTR buffer, LPCSTR format, ...);
int lstrlenA(LPCSTR s);
int lstrcmpA(LPCSTR a, LPCSTR b);
int lstrcmpiA(LPCSTR a, LPCSTR b);
LPSTR lstrcpyA(LPSTR dst, LPCSTR src);
LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int max);
LPSTR lstrcatA(LPSTR dst, LPCSTR src);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);

// Code page conversions: the system's code page (CP_ACP) is 1252 here; 1252 and UTF-8 are
// converted, any other code page fails with ERROR_INVALID_PARAMETER.
#define CP_ACP 0u
#define CP_UTF8 65001u
#define MB_ERR_INVALID_CHARS 0x8u
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int byteCount, LPWSTR wide,
                        int wideCount);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR bytes,
                        int byteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar);

// Registry (bodies supplied by the program).
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size);
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegCloseKey(HKEY key);

// Spooler client (bodies supplied by the program).
BOOL OpenPrinterA(LPSTR printerName, LPHANDLE printer, void* defaults);
BOOL ClosePrinter(HANDLE printer);
BOOL SetPrinterA(HANDLE printer, DWORD level, LPBYTE info, DWORD command);
BOOL GetPrinterA(HANDLE printer, DWORD level, LPBYTE info, DWORD size, LPDWORD needed);
DWORD SetPrinterDataA(HANDLE printer, LPSTR name, DWORD type, LPBYTE data, DWORD size);

// Display link: windows, messages, program start, named mappings (bodies supplied by the
// program; CloseHandle hands their handles to the closeHandle hook).
HWND FindWindowA(LPCSTR className, LPCSTR windowName);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
UINT WinExec(LPCSTR commandLine, UINT show);
HANDLE OpenFileMappingA(DWORD access, BOOL inherit, LPCSTR name);
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES sa, DWORD protect, DWORD sizeHigh,
                          DWORD sizeLow, LPCSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID view);

#include "win32_posix_user.h"
