// Winsock 2 before the header, which brings in windows.h.
#include <winsock2.h>

#include "tcp_port_monitor.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

enum { HOST_ROOM = 128, ID_ROOM = 1024, HELD_ROOM = 8192 };

struct TcpPort {
  sockaddr_in address;
  SOCKET socket;           // INVALID_SOCKET between jobs
  CRITICAL_SECTION lock;   // the socket and the held bytes
  char deviceId[ID_ROOM];  // asked once per connection; "" not yet
  // Replies that came in while we waited for the INFO ID answer, for the next ReadPort.
  char held[HELD_ROOM];
  size_t heldLength;
  DWORD writeWaitMs;  // the options' until SetPortTimeOuts gives another
};

TcpPortOptions Options = {NULL, 5000, 250, 1000, PORT_KIND_WIN95};

const char INFO_ID_REQUEST[] = "\x1b%-12345X@PJL INFO ID\r\n\x1b%-12345X";
const char INFO_ID_HEAD[] = "@PJL INFO ID\r\n";

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// "tcp:HOST:PORT" into an address; false when malformed or the host is unknown.
bool ParsePortName(const char* name, sockaddr_in* out) {
  if (_strnicmp(name, "tcp:", 4) != 0) return false;
  const char* host = name + 4;
  const char* colon = strrchr(host, ':');
  if (!colon || colon == host || colon - host >= HOST_ROOM) return false;
  char hostText[HOST_ROOM];
  memcpy(hostText, host, colon - host);
  hostText[colon - host] = '\0';
  char* end;
  unsigned long port = strtoul(colon + 1, &end, 10);
  if (*end != '\0' || port == 0 || port > 65535) return false;
  memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  out->sin_port = htons(static_cast<u_short>(port));
  unsigned long ip = inet_addr(hostText);
  if (ip == INADDR_NONE) {
    hostent* h = gethostbyname(hostText);
    if (!h || h->h_addrtype != AF_INET) return false;
    memcpy(&ip, h->h_addr_list[0], 4);
  }
  out->sin_addr.s_addr = ip;
  return true;
}

// Waits until s is readable (write false) or writable, at most ms.
bool WaitSocket(SOCKET s, bool write, DWORD ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv = {static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
  int n = select(0, write ? NULL : &set, write ? &set : NULL, NULL, &tv);
  return n == 1;
}

// A non-blocking connection to the port's printer, or INVALID_SOCKET.
SOCKET Connect(const TcpPort* p) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  BOOL noDelay = TRUE;  // replies and small writes should not wait for each other
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  int r = connect(s, reinterpret_cast<const sockaddr*>(&p->address), sizeof p->address);
  if (r != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  if (r != 0) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_SET(s, &writable);
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval tv = {static_cast<long>(Options.connectTimeoutMs / 1000),
                  static_cast<long>(Options.connectTimeoutMs % 1000) * 1000};
    if (select(0, NULL, &writable, &failed, &tv) != 1 || !FD_ISSET(s, &writable)) {
      closesocket(s);
      return INVALID_SOCKET;
    }
  }
  return s;
}

// Sends what the connection takes within the write wait; returns the count sent.
DWORD SendSome(SOCKET s, const BYTE* data, DWORD count, DWORD writeWaitMs) {
  DWORD sent = 0;
  DWORD start = GetTickCount();
  while (sent < count) {
    int n = send(s, reinterpret_cast<const char*>(data + sent), static_cast<int>(count - sent), 0);
    if (n > 0) {
      sent += static_cast<DWORD>(n);
      continue;
    }
    if (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK) break;
    DWORD waited = GetTickCount() - start;
    if (waited >= writeWaitMs || !WaitSocket(s, true, writeWaitMs - waited)) break;
  }
  return sent;
}

// Shuts our side, lets the printer finish talking for a while, then closes.
void Hangup(SOCKET s) {
  shutdown(s, SD_SEND);
  char sink[1024];
  DWORD start = GetTickCount();
  for (;;) {
    DWORD waited = GetTickCount() - start;
    if (waited >= Options.lingerMs || !WaitSocket(s, false, Options.lingerMs - waited)) break;
    if (recv(s, sink, sizeof sink, 0) <= 0) break;
  }
  closesocket(s);
}

void Hold(TcpPort* p, const char* bytes, size_t n) {
  if (n > HELD_ROOM - p->heldLength) n = HELD_ROOM - p->heldLength;
  memcpy(p->held + p->heldLength, bytes, n);
  p->heldLength += n;
}

// Asks the printer for its model over the job's connection and builds a device ID from the
// answer. Replies that come first are held for ReadPort. Caller holds the lock.
bool AskDeviceId(TcpPort* p) {
  DWORD length = sizeof INFO_ID_REQUEST - 1;
  if (SendSome(p->socket, reinterpret_cast<const BYTE*>(INFO_ID_REQUEST), length, p->writeWaitMs) !=
      length) {
    return false;
  }
  char text[2048];
  size_t have = 0;
  DWORD start = GetTickCount();
  for (;;) {
    // Set aside every complete reply that is not the answer.
    for (;;) {
      char* ff = static_cast<char*>(memchr(text, '\f', have));
      if (!ff) break;
      size_t replyLength = ff - text + 1;
      size_t headLength = sizeof INFO_ID_HEAD - 1;
      if (replyLength > headLength && memcmp(text, INFO_ID_HEAD, headLength) == 0) {
        // The answer: "MODEL NAME" in quotes on the next line.
        char* open = static_cast<char*>(memchr(text + headLength, '"', replyLength - headLength));
        char* close = open ? static_cast<char*>(memchr(open + 1, '"', ff - open - 1)) : NULL;
        if (!close) return false;
        snprintf(p->deviceId, sizeof p->deviceId, "MDL:%.*s;CMD:PJL;",
                 static_cast<int>(close - open - 1), open + 1);
        Hold(p, ff + 1, have - replyLength);
        return true;
      }
      Hold(p, text, replyLength);
      memmove(text, text + replyLength, have - replyLength);
      have -= replyLength;
    }
    DWORD waited = GetTickCount() - start;
    if (have == sizeof text || waited >= Options.connectTimeoutMs ||
        !WaitSocket(p->socket, false, Options.connectTimeoutMs - waited)) {
      return false;
    }
    int n = recv(p->socket, text + have, static_cast<int>(sizeof text - have), 0);
    if (n <= 0) return false;
    have += static_cast<size_t>(n);
  }
}

BOOL WINAPI TcpOpenPort(LPSTR name, PHANDLE handle) {
  sockaddr_in address;
  if (!name || !handle || !ParsePortName(name, &address)) return Fail(ERROR_UNKNOWN_PORT);
  TcpPort* p = static_cast<TcpPort*>(calloc(1, sizeof(TcpPort)));
  if (!p) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  p->address = address;
  p->socket = INVALID_SOCKET;
  p->writeWaitMs = Options.writeWaitMs;
  InitializeCriticalSection(&p->lock);
  *handle = p;
  return TRUE;
}

// As a port monitor of the system does: a write gives up after the total write time-out.
BOOL WINAPI TcpSetPortTimeOuts(HANDLE handle, LPCOMMTIMEOUTS timeouts, DWORD) {
  TcpPort* p = static_cast<TcpPort*>(handle);
  if (!p || !timeouts) return Fail(ERROR_INVALID_PARAMETER);
  EnterCriticalSection(&p->lock);
  p->writeWaitMs = timeouts->WriteTotalTimeoutConstant;
  LeaveCriticalSection(&p->lock);
  return TRUE;
}

BOOL WINAPI TcpStartDocPort(HANDLE handle, LPSTR, DWORD, DWORD, LPBYTE) {
  TcpPort* p = static_cast<TcpPort*>(handle);
  EnterCriticalSection(&p->lock);
  if (p->socket != INVALID_SOCKET) Hangup(p->socket);  // a job the caller never ended
  p->socket = Connect(p);
  p->deviceId[0] = '\0';
  p->heldLength = 0;
  bool ok = p->socket != INVALID_SOCKET;
  LeaveCriticalSection(&p->lock);
  return ok ? TRUE : Fail(ERROR_NOT_READY);
}

BOOL WINAPI TcpWritePort(HANDLE handle, LPBYTE data, DWORD count, LPDWORD written) {
  TcpPort* p = static_cast<TcpPort*>(handle);
  *written = 0;
  EnterCriticalSection(&p->lock);
  if (p->socket != INVALID_SOCKET) {
    *written = SendSome(p->socket, data, count, p->writeWaitMs);
  } else {
    // Outside a job: a connection of its own for these bytes.
    SOCKET s = Connect(p);
    if (s != INVALID_SOCKET) {
      *written = SendSome(s, data, count, p->writeWaitMs);
      Hangup(s);
    }
  }
  LeaveCriticalSection(&p->lock);
  if (*written == 0 && count != 0) return Fail(ERROR_NOT_READY);
  return TRUE;
}

BOOL WINAPI TcpReadPort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD read) {
  TcpPort* p = static_cast<TcpPort*>(handle);
  *read = 0;
  EnterCriticalSection(&p->lock);
  if (p->heldLength) {
    DWORD n = p->heldLength < size ? static_cast<DWORD>(p->heldLength) : size;
    memcpy(buffer, p->held, n);
    memmove(p->held, p->held + n, p->heldLength - n);
    p->heldLength -= n;
    *read = n;
  } else if (p->socket != INVALID_SOCKET) {
    int n = recv(p->socket, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
    if (n > 0) *read = static_cast<DWORD>(n);
  }
  LeaveCriticalSection(&p->lock);
  return TRUE;
}

BOOL WINAPI TcpEndDocPort(HANDLE handle) {
  TcpPort* p = static_cast<TcpPort*>(handle);
  EnterCriticalSection(&p->lock);
  if (p->socket != INVALID_SOCKET) Hangup(p->socket);
  p->socket = INVALID_SOCKET;
  p->heldLength = 0;
  LeaveCriticalSection(&p->lock);
  return TRUE;
}

BOOL WINAPI TcpClosePort(HANDLE handle) {
  TcpPort* p = static_cast<TcpPort*>(handle);
  TcpEndDocPort(handle);
  DeleteCriticalSection(&p->lock);
  free(p);
  return TRUE;
}

BOOL WINAPI TcpGetPrinterDataFromPort(HANDLE handle, DWORD controlId, LPSTR, LPSTR, DWORD,
                                      LPSTR out, DWORD outSize, LPDWORD returned) {
  TcpPort* p = static_cast<TcpPort*>(handle);
  EnterCriticalSection(&p->lock);
  const char* id = Options.deviceId;
  if (PortKindAnswers(Options.kind, controlId) && out && outSize != 0) {
    if (!id && p->deviceId[0] == '\0' && p->socket != INVALID_SOCKET) AskDeviceId(p);
    if (!id && p->deviceId[0] != '\0') id = p->deviceId;
  }
  BOOL ok = AnswerDeviceControl(Options.kind, controlId, id, out, outSize, returned);
  DWORD error = GetLastError();
  LeaveCriticalSection(&p->lock);
  SetLastError(error);
  return ok;
}

MONITOR Table = {
    NULL,                       // EnumPorts
    TcpOpenPort,                // OpenPort
    NULL,                       // OpenPortEx: a port monitor has none
    TcpStartDocPort,            // StartDocPort
    TcpWritePort,               // WritePort
    TcpReadPort,                // ReadPort
    TcpEndDocPort,              // EndDocPort
    TcpClosePort,               // ClosePort
    NULL,                       // AddPort
    NULL,                       // ConfigurePort
    NULL,                       // DeletePort
    TcpGetPrinterDataFromPort,  // GetPrinterDataFromPort
    TcpSetPortTimeOuts,         // SetPortTimeOuts
};

}  // namespace

bool TcpPortConfigure(const TcpPortOptions* options) {
  Options = *options;
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

MONITOR* TcpPortMonitor() {
  return &Table;
}
