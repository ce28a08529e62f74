// Asks a network printer for its state over IPP, with WinHTTP (Windows 2000 SP3 and XP SP1 on),
// found at run time so that the DLL still loads where it is missing. The monitor runs as SYSTEM
// inside the spooler, so the client is hardened: no proxy, never the machine's credentials, no
// redirects, no cookies, a bounded answer and bounded time. Windows builds only.
#pragma once

#include <stdint.h>

#include "ipp_message.h"
#include "win32.h"

// WinHTTP's functions, as the client calls them.
struct WinHttpFunctions {
  void*(WINAPI* open)(const WCHAR*, DWORD, const WCHAR*, const WCHAR*, DWORD);
  BOOL(WINAPI* setTimeouts)(void*, int, int, int, int);
  void*(WINAPI* connect)(void*, const WCHAR*, WORD, DWORD);
  void*(WINAPI* openRequest)(void*, const WCHAR*, const WCHAR*, const WCHAR*, const WCHAR*,
                             const WCHAR**, DWORD);
  BOOL(WINAPI* setOption)(void*, DWORD, void*, DWORD);
  BOOL(WINAPI* sendRequest)(void*, const WCHAR*, DWORD, void*, DWORD, DWORD, DWORD_PTR);
  BOOL(WINAPI* receiveResponse)(void*, void*);
  BOOL(WINAPI* queryHeaders)(void*, DWORD, const WCHAR*, void*, DWORD*, DWORD*);
  BOOL(WINAPI* readData)(void*, void*, DWORD, DWORD*);
  BOOL(WINAPI* closeHandle)(void*);
};

// One client: the loaded WinHTTP and its session. Opened and used by one thread at a time (a
// port's status thread); closed by the same thread.
struct IppClient {
  HMODULE winhttp;
  WinHttpFunctions f;
  void* session;
  uint32_t nextRequestId;
};

enum IppQueryResult : uint32_t {
  IPP_QUERY_OK = 0,          // the printer answered; *out holds its attributes
  IPP_QUERY_NO_CLIENT = 1,   // no WinHTTP on this system (or the client is not open)
  IPP_QUERY_BAD_URI = 2,     // the printer's address is not one the client can use
  IPP_QUERY_NO_ANSWER = 3,   // no connection, or no answer in time
  IPP_QUERY_REFUSED = 4,     // an HTTP answer other than 200 (redirects and logon requests too)
  IPP_QUERY_TOO_LARGE = 5,   // the answer is larger than the buffer
  IPP_QUERY_BAD_ANSWER = 6,  // not a readable IPP answer, or an IPP error status
};

enum : uint32_t {
  // Time-outs of the steps of one query, and the bound of the whole query.
  IPP_RESOLVE_TIMEOUT_MS = 2000,
  IPP_CONNECT_TIMEOUT_MS = 2000,
  IPP_SEND_TIMEOUT_MS = 2000,
  IPP_RECEIVE_TIMEOUT_MS = 3000,
  IPP_QUERY_BOUND_MS = 8000,
  // The buffer a query needs at most: larger answers are refused.
  IPP_ANSWER_MAX = 64 * 1024,
};

// Loads WinHTTP and opens a session without proxy; false (client closed) where there is no
// WinHTTP.
bool IppClientOpen(IppClient* client);
void IppClientClose(IppClient* client);

// Get-Printer-Attributes for the printer at uri (ipp, ipps, http, https). buffer holds the
// answer (IPP_ANSWER_MAX bytes are enough); httpStatus (may be NULL) gets the HTTP status, or 0.
// An ipps printer's certificate is not checked: printers use certificates of their own making,
// the query carries no secret, and what it reads is only trusted as far as a plain ipp answer.
IppQueryResult IppQueryPrinter(IppClient* client, const char* uri, uint8_t* buffer,
                               uint32_t capacity, IppPrinterAttributes* out, uint32_t* httpStatus);

const char* IppQueryResultName(IppQueryResult result);
