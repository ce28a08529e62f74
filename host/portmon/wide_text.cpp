#include "wide_text.h"

std::string NarrowText(const WCHAR* text, UINT codePage) {
  if (!text || !*text) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text, -1, NULL, 0, NULL, NULL);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text, -1, &out[0], n, NULL, NULL);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::wstring WideText(const char* text, UINT codePage) {
  if (!text || !*text) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text, -1, NULL, 0);
  if (n <= 1) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text, -1, &out[0], n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}
