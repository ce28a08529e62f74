// Splits a printer URI into what an HTTP client needs; see ipp_uri.h.
#include "ipp_uri.h"

#include <string.h>

namespace {

struct SchemeRow {
  const char* prefix;
  bool secure;
  uint16_t port;
};

const SchemeRow Schemes[] = {
    {"ipp://", false, IPP_DEFAULT_PORT},
    {"ipps://", true, IPP_DEFAULT_PORT},
    {"http://", false, 80},
    {"https://", true, 443},
};

bool PlainUriChar(char c) {
  return c > ' ' && c < 0x7F && c != '"' && c != '<' && c != '>' && c != '\\' && c != '^' &&
         c != '`' && c != '{' && c != '|' && c != '}';
}

bool CopyPart(char* to, uint32_t room, const char* from, size_t n) {
  if (n == 0 || n >= room) return false;
  memcpy(to, from, n);
  to[n] = '\0';
  return true;
}

}  // namespace

bool ParsePrinterUri(const char* uri, PrinterUri* out) {
  memset(out, 0, sizeof *out);
  if (!uri) return false;
  const size_t length = strnlen(uri, PRINTER_URI_MAX);
  if (length >= PRINTER_URI_MAX) return false;
  for (size_t i = 0; i < length; i++) {
    if (!PlainUriChar(uri[i])) return false;
  }
  const SchemeRow* scheme = nullptr;
  for (const SchemeRow& row : Schemes) {
    const size_t n = strlen(row.prefix);
    if (length >= n && strncmp(uri, row.prefix, n) == 0) scheme = &row;
  }
  if (!scheme) return false;
  out->secure = scheme->secure;
  out->port = scheme->port;
  const char* at = uri + strlen(scheme->prefix);
  const char* slash = strchr(at, '/');
  const char* authorityEnd = slash ? slash : uri + length;
  if (memchr(at, '@', static_cast<size_t>(authorityEnd - at))) return false;  // no user info
  const char* hostEnd;
  const char* portStart = nullptr;
  if (*at == '[') {  // [IPv6]
    const char* close = static_cast<const char*>(memchr(at, ']', authorityEnd - at));
    if (!close) return false;
    if (!CopyPart(out->host, PRINTER_HOST_MAX, at + 1, static_cast<size_t>(close - at - 1))) {
      return false;
    }
    hostEnd = close + 1;
    if (hostEnd != authorityEnd) {
      if (*hostEnd != ':') return false;
      portStart = hostEnd + 1;
    }
  } else {
    const char* colon = static_cast<const char*>(memchr(at, ':', authorityEnd - at));
    hostEnd = colon ? colon : authorityEnd;
    if (!CopyPart(out->host, PRINTER_HOST_MAX, at, static_cast<size_t>(hostEnd - at))) {
      return false;
    }
    if (colon) portStart = colon + 1;
  }
  if (portStart) {
    uint32_t port = 0;
    if (portStart == authorityEnd) return false;
    for (const char* p = portStart; p < authorityEnd; p++) {
      if (*p < '0' || *p > '9') return false;
      port = port * 10 + static_cast<uint32_t>(*p - '0');
      if (port > 65535) return false;
    }
    if (port == 0) return false;
    out->port = static_cast<uint16_t>(port);
  }
  if (!slash) {
    strcpy(out->path, "/");
    return true;
  }
  return CopyPart(out->path, PRINTER_PATH_MAX, slash, strlen(slash));
}

bool DefaultPrinterUri(const char* host, char* out, uint32_t room) {
  if (!host || !*host || room == 0) return false;
  // Written out by hand: the monitor takes no formatted printing from the C runtime.
  const bool ipv6 = strchr(host, ':') != nullptr;
  const char* parts[] = {"ipp://", ipv6 ? "[" : "", host, ipv6 ? "]" : "", ":631/ipp/print"};
  uint32_t n = 0;
  for (const char* part : parts) {
    const size_t length = strlen(part);
    if (length >= room - n) {
      out[0] = '\0';
      return false;
    }
    memcpy(out + n, part, length);
    n += static_cast<uint32_t>(length);
  }
  out[n] = '\0';
  PrinterUri check;
  if (!ParsePrinterUri(out, &check)) {
    out[0] = '\0';
    return false;
  }
  return true;
}
