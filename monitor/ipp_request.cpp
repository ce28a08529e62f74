// The Get-Printer-Attributes request: IPP 2.0, operation 0x000B, the three operation attributes
// every request carries, and requested-attributes naming what the reader keeps, so that a
// printer with hundreds of attributes answers in about a kilobyte.
#include <string.h>

#include "ipp_message.h"

namespace {

const uint16_t OPERATION_GET_PRINTER_ATTRIBUTES = 0x000B;

const char* const RequestedAttributes[] = {
    "printer-state",   "printer-state-reasons", "printer-device-id", "printer-make-and-model",
    "printer-supply",  "marker-types",          "marker-levels",     "printer-input-tray",
    "media-col-ready", "media-ready",
};

struct Writer {
  uint8_t* out;
  size_t capacity;
  size_t at;
  bool ok;
};

void PutBytes(Writer* w, const void* bytes, size_t n) {
  if (!w->ok || n > w->capacity - w->at) {
    w->ok = false;
    return;
  }
  memcpy(w->out + w->at, bytes, n);
  w->at += n;
}

void PutByte(Writer* w, uint8_t b) {
  PutBytes(w, &b, 1);
}

void PutShort(Writer* w, uint16_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  PutBytes(w, b, 2);
}

// One attribute value: tag, name (empty for a further value of the same attribute), value.
void PutAttribute(Writer* w, uint8_t tag, const char* name, const char* value) {
  const size_t nameLength = strlen(name);
  const size_t valueLength = strlen(value);
  if (nameLength > 0xFFFF || valueLength > 0xFFFF) {
    w->ok = false;
    return;
  }
  PutByte(w, tag);
  PutShort(w, static_cast<uint16_t>(nameLength));
  PutBytes(w, name, nameLength);
  PutShort(w, static_cast<uint16_t>(valueLength));
  PutBytes(w, value, valueLength);
}

}  // namespace

size_t IppBuildGetPrinterAttributes(uint8_t* out, size_t capacity, const char* printerUri,
                                    uint32_t requestId) {
  if (!out || !printerUri || capacity < IPP_REQUEST_MAX) return 0;
  Writer w = {out, IPP_REQUEST_MAX, 0, true};
  PutByte(&w, 2);  // version 2.0
  PutByte(&w, 0);
  PutShort(&w, OPERATION_GET_PRINTER_ATTRIBUTES);
  PutShort(&w, static_cast<uint16_t>(requestId >> 16));
  PutShort(&w, static_cast<uint16_t>(requestId));
  PutByte(&w, IPP_TAG_OPERATION_ATTRIBUTES);
  PutAttribute(&w, IPP_TAG_CHARSET, "attributes-charset", "utf-8");
  PutAttribute(&w, IPP_TAG_NATURAL_LANGUAGE, "attributes-natural-language", "en");
  PutAttribute(&w, IPP_TAG_URI, "printer-uri", printerUri);
  bool first = true;
  for (const char* name : RequestedAttributes) {
    PutAttribute(&w, IPP_TAG_KEYWORD, first ? "requested-attributes" : "", name);
    first = false;
  }
  PutByte(&w, IPP_TAG_END_OF_ATTRIBUTES);
  return w.ok ? w.at : 0;
}
