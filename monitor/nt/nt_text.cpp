// Wide text for the NT face, written out rather than taken from the system: the Windows 95
// generation lacks most wide functions, and this DLL must still load there.
#include "nt_monitor.h"

DWORD WideLength(LPCWSTR text) {
  DWORD n = 0;
  while (text[n] != 0) ++n;
  return n;
}

WCHAR* CopyWide(LPCWSTR text) {
  if (text == NULL) return NULL;
  const DWORD n = WideLength(text);
  WCHAR* copy = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, (n + 1) * sizeof(WCHAR)));
  if (copy == NULL) return NULL;
  for (DWORD i = 0; i <= n; ++i) copy[i] = text[i];
  return copy;
}

void FreeWide(WCHAR* text) {
  if (text != NULL) LocalFree(text);
}

bool SameWide(LPCWSTR a, LPCWSTR b) {
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

namespace {

WCHAR AsciiUpper(WCHAR c) {
  return (c >= L'a' && c <= L'z') ? static_cast<WCHAR>(c - L'a' + L'A') : c;
}

}  // namespace

bool SameWideIgnoringCase(LPCWSTR a, LPCWSTR b) {
  while (*a != 0 && AsciiUpper(*a) == AsciiUpper(*b)) {
    ++a;
    ++b;
  }
  return AsciiUpper(*a) == AsciiUpper(*b);
}

void WideToAsciiName(LPCWSTR text, char* out, DWORD size) {
  DWORD i = 0;
  for (; text[i] != 0 && i + 1 < size; ++i) {
    out[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  }
  out[i] = '\0';
}

WCHAR* ServerPrinterName(LPCWSTR server, LPCWSTR name) {
  if (server == NULL) return CopyWide(name);
  while (*server == L'\\') ++server;
  const DWORD serverLength = WideLength(server), nameLength = WideLength(name);
  WCHAR* full = static_cast<WCHAR*>(
      LocalAlloc(LMEM_FIXED, (2 + serverLength + 1 + nameLength + 1) * sizeof(WCHAR)));
  if (full == NULL) return NULL;
  WCHAR* p = full;
  *p++ = L'\\';
  *p++ = L'\\';
  for (DWORD i = 0; i < serverLength; ++i) *p++ = server[i];
  *p++ = L'\\';
  for (DWORD i = 0; i <= nameLength; ++i) *p++ = name[i];  // with its NUL
  return full;
}
