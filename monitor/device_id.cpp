// Reading the printer's IEEE 1284 device ID: "KEY:value;" fields whose manufacturer and model
// tell whether the printer is one of the maker's, and which model it is.
#include "identify.h"

#include "text_ops.h"

volatile DWORD ModelNumber = 0;

namespace {

const DWORD kModelFlags = PF_MODEL_3820 | PF_MODEL_3470 | PF_FAMILY_MODEL;

// A key (up to and including its colon) equals the literal exactly.
template <size_t N>
bool KeyIs(const char* key, size_t keyLength, const char (&literal)[N]) {
  return keyLength == N - 1 && CompareBytes(key, literal, N - 1) == 0;
}

// The value begins with the literal. CompareBytes stops at the first difference, so a value
// shorter than the literal is read only up to its NUL.
template <size_t N>
bool BeginsWith(const char* value, const char (&literal)[N]) {
  return CompareBytes(value, literal, N - 1) == 0;
}

void ReadModel(PortRecord* port, const char* value) {
  ClearPortFlags(port, kModelFlags);
  if (BeginsWith(value, "QV-L3820")) {
    SetPortFlags(port, PF_MODEL_3820 | PF_FAMILY_MODEL);
    __atomic_store_n(&ModelNumber, 3820, __ATOMIC_RELAXED);
  } else if (BeginsWith(value, "QV-L3470")) {
    SetPortFlags(port, PF_MODEL_3470 | PF_FAMILY_MODEL);
    __atomic_store_n(&ModelNumber, 3470, __ATOMIC_RELAXED);
  } else if (BeginsWith(value, "QV-L")) {
    SetPortFlags(port, PF_FAMILY_MODEL);
    __atomic_store_n(&ModelNumber, ReadDecimalCapped(value + 4), __ATOMIC_RELAXED);
  }
  // Any other model keeps the number of the last family printer seen.
}

}  // namespace

DWORD ParseDeviceId(PortRecord* port, char* text) {
  DWORD result = 0;
  char* p = text;
  while (*p != '\0') {
    // The key runs to the next colon, across any ";" on the way: a field without a colon so
    // swallows the next one.
    const char* colon = FindChar(p, ':');
    if (colon == NULL) break;
    size_t keyLength = static_cast<size_t>(colon + 1 - p);
    char* value = p + keyLength;
    if (*p == 'M') {
      if (KeyIs(p, keyLength, "MODEL:") || KeyIs(p, keyLength, "MDL:")) {
        result = 1;
        ReadModel(port, value);
      } else if ((KeyIs(p, keyLength, "MANUFACTURER:") || KeyIs(p, keyLength, "MFG:")) &&
                 BeginsWith(value, "Zemblaxon")) {
        SetPortFlags(port, PF_FAMILY_MAKER);
      }
    }
    char* end = const_cast<char*>(FindChar(value, ';'));
    if (end == NULL) break;
    *end = '\0';
    p = end + 1;
  }
  return result;
}
