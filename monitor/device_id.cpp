// Reading the printer's IEEE 1284 device ID: "KEY:value;" fields whose manufacturer and model
// tell whether the printer is one of the maker's, and which model it is.
#include "identify.h"

#include "text_ops.h"

DWORD IdentifiedModelNumber = 0;

namespace {

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

// A model field: it decides the model flags afresh, and a QV-L model gives the model number.
void ReadModel(DeviceIdFields* fields, const char* value) {
  fields->modelSeen = true;
  fields->modelFlags = 0;
  if (BeginsWith(value, "QV-L3820")) {
    fields->modelFlags = PF_MODEL_3820 | PF_FAMILY_MODEL;
    fields->modelNumber = 3820;
  } else if (BeginsWith(value, "QV-L3470")) {
    fields->modelFlags = PF_MODEL_3470 | PF_FAMILY_MODEL;
    fields->modelNumber = 3470;
  } else if (BeginsWith(value, "QV-L")) {
    fields->modelFlags = PF_FAMILY_MODEL;
    fields->modelNumber = ReadDecimalCapped(value + 4);
  } else {
    return;  // any other model keeps the number of the last family printer seen
  }
  fields->modelNumberSeen = true;
}

}  // namespace

DeviceIdFields ReadDeviceIdFields(char* text) {
  DeviceIdFields fields = {};
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
        ReadModel(&fields, value);
      } else if ((KeyIs(p, keyLength, "MANUFACTURER:") || KeyIs(p, keyLength, "MFG:")) &&
                 BeginsWith(value, "Zemblaxon")) {
        fields.maker = true;
      }
    }
    char* end = const_cast<char*>(FindChar(value, ';'));
    if (end == NULL) break;
    *end = '\0';
    p = end + 1;
  }
  return fields;
}

DWORD FlagsAfterDeviceId(DWORD flags, const DeviceIdFields& fields) {
  if (fields.modelSeen) flags = (flags & ~DEVICE_ID_MODEL_FLAGS) | fields.modelFlags;
  if (fields.maker) flags |= PF_FAMILY_MAKER;
  return flags;
}

DWORD ParseDeviceId(PortRecord* port, char* text) {
  const DeviceIdFields fields = ReadDeviceIdFields(text);
  if (fields.modelSeen) {
    ClearPortFlags(port, DEVICE_ID_MODEL_FLAGS & ~fields.modelFlags);
    SetPortFlags(port, fields.modelFlags);
  }
  if (fields.maker) SetPortFlags(port, PF_FAMILY_MAKER);
  if (fields.modelNumberSeen) {
    StoreShared(&port->modelNumber, fields.modelNumber);
    StoreShared(&IdentifiedModelNumber, fields.modelNumber);
  }
  return fields.modelSeen ? 1 : 0;
}
