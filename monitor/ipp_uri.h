// A network printer's IPP address: "ipp://host[:port]/path" (port 631), "ipps://..." (TLS, port
// 631) and the plain "http://" and "https://" forms (ports 80 and 443). IPv6 hosts are written
// in brackets. Pure code, no allocation.
#pragma once

#include <stdint.h>

enum : uint32_t {
  PRINTER_URI_MAX = 512,   // the whole URI, NUL included
  PRINTER_HOST_MAX = 256,  // the host, NUL included (without IPv6 brackets)
  PRINTER_PATH_MAX = 256,  // the path, NUL included
  IPP_DEFAULT_PORT = 631,
};

struct PrinterUri {
  bool secure;  // ipps or https: TLS
  uint16_t port;
  char host[PRINTER_HOST_MAX];
  char path[PRINTER_PATH_MAX];  // starts with '/'
};

// False for another scheme, an empty or over-long host or path, a bad port, or characters that
// have no place in a URI (blanks, controls, quotes).
bool ParsePrinterUri(const char* uri, PrinterUri* out);

// The default address of a printer at host: "ipp://host:631/ipp/print" (an IPv6 address in
// brackets). False when it does not fit `room`.
bool DefaultPrinterUri(const char* host, char* out, uint32_t room);
