// Small operations on NUL-terminated text for the plain reply parser and the device ID reader.
// None allocates; each reads no further than the text's NUL (CompareBytes: than the first
// differing byte).
#include "text_ops.h"

#include <string.h>

namespace {

// The window the plain replies' needles were designed for: at most 255 characters.
const uint32_t kMaxNeedle = 255;

inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

const char* FindChar(const char* text, char c) {
  if (c == '\0') return NULL;  // the NUL ends the text; it is never "in" it
  return strchr(text, c);
}

int CompareBytes(const char* a, const char* b, uint32_t n) {
  // Stopping at the first difference gives the same answer as comparing all n pairs, and it
  // keeps a comparison of a short text against a longer literal inside the short text.
  for (uint32_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) {
      return static_cast<int8_t>(static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i]));
    }
  }
  return 0;
}

uint32_t ReadDecimalCapped(const char* text) {
  uint32_t value = 0;
  for (const char* p = text; IsDigit(*p); ++p) {
    value = value * 10 + static_cast<uint32_t>(*p - '0');
    if (value > 99999) break;  // one digit past five is enough to be out of every range
  }
  return value;
}

uint32_t ReadDecimal(const char* text) {
  uint32_t value = 0;
  for (const char* p = text; IsDigit(*p); ++p) {
    value = value * 10 + static_cast<uint32_t>(*p - '0');  // wraps at 32 bits
  }
  return value;
}

// Knuth-Morris-Pratt over the haystack, with a fast jump to the next candidate first character
// whenever no partial match is pending: one pass over the haystack, whatever the needle.
const char* FindSubstring(const char* haystack, const char* needle) {
  uint32_t n = 0;
  while (n <= kMaxNeedle && needle[n] != '\0') ++n;
  if (n == 0) return haystack;
  if (n > kMaxNeedle) return NULL;  // longer needles are outside the contract: never found

  // border[j]: length of the longest proper prefix of needle[0..j] that is also its suffix.
  uint8_t border[kMaxNeedle];
  border[0] = 0;
  for (uint32_t j = 1, k = 0; j < n; ++j) {
    while (k > 0 && needle[j] != needle[k]) k = border[k - 1];
    if (needle[j] == needle[k]) ++k;
    border[j] = static_cast<uint8_t>(k);
  }

  const char* p = haystack;
  uint32_t matched = 0;  // characters of needle matched just before p
  for (;;) {
    if (matched == 0) {
      p = strchr(p, needle[0]);
      if (p == NULL) return NULL;
      matched = 1;
      ++p;
    } else {
      char c = *p;
      if (c == '\0') return NULL;
      while (matched > 0 && c != needle[matched]) matched = border[matched - 1];
      if (c == needle[matched]) ++matched;
      ++p;
    }
    if (matched == n) return p - n;
  }
}
