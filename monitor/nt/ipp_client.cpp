// The IPP client over WinHTTP; see ipp_client.h. Each query opens a connection and a request,
// sends the Get-Printer-Attributes request, reads at most the buffer's size and closes both.
#include "ipp_client.h"

#include <string.h>

#include "ipp_uri.h"

namespace {

// WinHTTP's values, from its published interface (the monitor includes no WinHTTP header, as
// it links nothing of it).
const DWORD ACCESS_TYPE_NO_PROXY = 1;
const DWORD FLAG_SECURE = 0x00800000;
const DWORD OPTION_RECEIVE_RESPONSE_TIMEOUT = 7;
const DWORD OPTION_SECURITY_FLAGS = 31;
const DWORD OPTION_DISABLE_FEATURE = 63;
const DWORD OPTION_AUTOLOGON_POLICY = 77;
const DWORD OPTION_REDIRECT_POLICY = 88;
const DWORD AUTOLOGON_SECURITY_LEVEL_HIGH = 2;
const DWORD REDIRECT_POLICY_NEVER = 0;
const DWORD DISABLE_COOKIES = 0x1;
const DWORD DISABLE_REDIRECTS = 0x2;
const DWORD DISABLE_AUTHENTICATION = 0x4;
const DWORD SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100;
const DWORD SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
const DWORD SECURITY_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
const DWORD QUERY_STATUS_CODE = 19;
const DWORD QUERY_FLAG_NUMBER = 0x20000000;

template <typename F>
bool Find(HMODULE module, const char* name, F* slot) {
  *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *slot != NULL;
}

bool FindAll(HMODULE m, WinHttpFunctions* f) {
  return Find(m, "WinHttpOpen", &f->open) && Find(m, "WinHttpSetTimeouts", &f->setTimeouts) &&
         Find(m, "WinHttpConnect", &f->connect) && Find(m, "WinHttpOpenRequest", &f->openRequest) &&
         Find(m, "WinHttpSetOption", &f->setOption) &&
         Find(m, "WinHttpSendRequest", &f->sendRequest) &&
         Find(m, "WinHttpReceiveResponse", &f->receiveResponse) &&
         Find(m, "WinHttpQueryHeaders", &f->queryHeaders) &&
         Find(m, "WinHttpReadData", &f->readData) && Find(m, "WinHttpCloseHandle", &f->closeHandle);
}

// The URI's parts are plain ASCII (ParsePrinterUri allows nothing else).
void Widen(const char* text, WCHAR* out) {
  do {
    *out++ = static_cast<WCHAR>(static_cast<unsigned char>(*text));
  } while (*text++);
}

bool SetDword(const WinHttpFunctions& f, void* handle, DWORD option, DWORD value) {
  return f.setOption(handle, option, &value, sizeof value) != FALSE;
}

// What the request must not do: follow a redirect, log on with the machine's account, keep
// cookies; an ipps printer's own certificate is let through (see ipp_client.h).
bool Harden(const WinHttpFunctions& f, void* request, bool secure) {
  const bool noRedirects = SetDword(f, request, OPTION_REDIRECT_POLICY, REDIRECT_POLICY_NEVER);
  const bool disabled =
      SetDword(f, request, OPTION_DISABLE_FEATURE,
               DISABLE_REDIRECTS | DISABLE_COOKIES | DISABLE_AUTHENTICATION) ||
      SetDword(f, request, OPTION_DISABLE_FEATURE, DISABLE_REDIRECTS | DISABLE_COOKIES);
  SetDword(f, request, OPTION_AUTOLOGON_POLICY, AUTOLOGON_SECURITY_LEVEL_HIGH);
  // The wait for the answer's headers has a time-out of its own (90 s unless set).
  const bool bounded =
      f.setTimeouts(request, IPP_RESOLVE_TIMEOUT_MS, IPP_CONNECT_TIMEOUT_MS, IPP_SEND_TIMEOUT_MS,
                    IPP_RECEIVE_TIMEOUT_MS) &&
      SetDword(f, request, OPTION_RECEIVE_RESPONSE_TIMEOUT, IPP_RECEIVE_TIMEOUT_MS);
  if (secure) {
    SetDword(f, request, OPTION_SECURITY_FLAGS,
             SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                 SECURITY_FLAG_IGNORE_CERT_DATE_INVALID);
  }
  // A client that might follow a redirect, or wait without end, asks nothing.
  return (noRedirects || disabled) && bounded;
}

IppQueryResult Exchange(IppClient* c, void* request, const PrinterUri& where, const char* uri,
                        uint8_t* buffer, uint32_t capacity, IppPrinterAttributes* out,
                        uint32_t* httpStatus) {
  const WinHttpFunctions& f = c->f;
  if (!Harden(f, request, where.secure)) return IPP_QUERY_NO_CLIENT;
  uint8_t ask[IPP_REQUEST_MAX];
  const uint32_t requestId = ++c->nextRequestId;
  const size_t askLength = IppBuildGetPrinterAttributes(ask, sizeof ask, uri, requestId);
  if (askLength == 0) return IPP_QUERY_BAD_URI;
  static const WCHAR kHeaders[] = L"Content-Type: application/ipp\r\n";
  const DWORD start = GetTickCount();
  if (!f.sendRequest(request, kHeaders, static_cast<DWORD>(-1), ask, static_cast<DWORD>(askLength),
                     static_cast<DWORD>(askLength), 0) ||
      !f.receiveResponse(request, NULL)) {
    return IPP_QUERY_NO_ANSWER;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!f.queryHeaders(request, QUERY_STATUS_CODE | QUERY_FLAG_NUMBER, NULL, &status, &size, NULL)) {
    return IPP_QUERY_NO_ANSWER;
  }
  if (httpStatus) *httpStatus = status;
  if (status != 200) return IPP_QUERY_REFUSED;
  uint32_t length = 0;
  for (;;) {
    if (GetTickCount() - start > IPP_QUERY_BOUND_MS) return IPP_QUERY_NO_ANSWER;
    // One byte more than the buffer holds is asked for: it tells an answer that is too large.
    uint8_t spare;
    const bool full = length == capacity;
    DWORD got = 0;
    if (!f.readData(request, full ? &spare : buffer + length, full ? 1 : capacity - length, &got)) {
      return IPP_QUERY_NO_ANSWER;
    }
    if (got == 0) break;
    if (full) return IPP_QUERY_TOO_LARGE;
    length += got;
  }
  const IppReadResult read = IppReadPrinterAttributes(buffer, length, out);
  if (read != IPP_READ_OK || out->statusCode > 0x00FF || out->requestId != requestId) {
    return IPP_QUERY_BAD_ANSWER;
  }
  return IPP_QUERY_OK;
}

}  // namespace

bool IppClientOpen(IppClient* client) {
  memset(client, 0, sizeof *client);
  client->winhttp = LoadLibraryA("winhttp.dll");
  if (!client->winhttp) return false;
  if (FindAll(client->winhttp, &client->f)) {
    client->session =
        client->f.open(L"qvllink/1.0", ACCESS_TYPE_NO_PROXY, NULL, NULL, 0);  // synchronous
  }
  if (!client->session) {
    IppClientClose(client);
    return false;
  }
  client->f.setTimeouts(client->session, IPP_RESOLVE_TIMEOUT_MS, IPP_CONNECT_TIMEOUT_MS,
                        IPP_SEND_TIMEOUT_MS, IPP_RECEIVE_TIMEOUT_MS);
  return true;
}

void IppClientClose(IppClient* client) {
  if (client->session) client->f.closeHandle(client->session);
  if (client->winhttp) FreeLibrary(client->winhttp);
  memset(client, 0, sizeof *client);
}

IppQueryResult IppQueryPrinter(IppClient* client, const char* uri, uint8_t* buffer,
                               uint32_t capacity, IppPrinterAttributes* out, uint32_t* httpStatus) {
  memset(out, 0, sizeof *out);
  if (httpStatus) *httpStatus = 0;
  if (!client->session) return IPP_QUERY_NO_CLIENT;
  PrinterUri where;
  if (!ParsePrinterUri(uri, &where)) return IPP_QUERY_BAD_URI;
  WCHAR host[PRINTER_HOST_MAX];
  WCHAR path[PRINTER_PATH_MAX];
  Widen(where.host, host);
  Widen(where.path, path);
  const WinHttpFunctions& f = client->f;
  void* connection = f.connect(client->session, host, where.port, 0);
  if (!connection) return IPP_QUERY_NO_ANSWER;
  IppQueryResult result = IPP_QUERY_NO_ANSWER;
  void* request =
      f.openRequest(connection, L"POST", path, NULL, NULL, NULL, where.secure ? FLAG_SECURE : 0);
  if (request) {
    result = Exchange(client, request, where, uri, buffer, capacity, out, httpStatus);
    f.closeHandle(request);
  }
  f.closeHandle(connection);
  return result;
}

const char* IppQueryResultName(IppQueryResult result) {
  static const char* const Names[] = {"ok",      "no-client", "bad-uri",   "no-answer",
                                      "refused", "too-large", "bad-answer"};
  return result < sizeof Names / sizeof Names[0] ? Names[result] : "?";
}
