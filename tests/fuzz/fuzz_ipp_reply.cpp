// A network printer's IPP answer over arbitrary bytes, in a buffer exactly as long as the bytes
// so that any read past them is caught. Whatever the bytes, the record keeps to its bounds, every
// text in it ends inside its buffer, and the status drawn from it is a valid one. The request
// writer gets the bytes as a URI and never writes past its limit.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "ipp_message.h"
#include "ipp_status.h"

namespace {

void Require(bool ok) {
  if (!ok) abort();
}

void RequireText(const char* text, size_t room) {
  Require(memchr(text, 0, room) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t* copy = static_cast<uint8_t*>(malloc(size ? size : 1));
  if (size) memcpy(copy, data, size);
  IppPrinterAttributes a;
  const IppReadResult result = IppReadPrinterAttributes(copy, size, &a);
  Require(result <= IPP_READ_BAD);
  Require(a.reasonCount <= IPP_MAX_REASONS && a.trayCount <= IPP_MAX_TRAYS &&
          a.supplyCount <= IPP_MAX_SUPPLIES && a.readyCount <= IPP_MAX_READY_MEDIA);
  RequireText(a.deviceId, sizeof a.deviceId);
  RequireText(a.makeAndModel, sizeof a.makeAndModel);
  for (uint32_t i = 0; i < a.reasonCount; i++) {
    RequireText(a.reasons[i].keyword, sizeof a.reasons[i].keyword);
    Require(a.reasons[i].level <= IPP_LEVEL_REPORT);
  }
  for (uint32_t i = 0; i < a.trayCount; i++) RequireText(a.trays[i].name, IPP_KEYWORD_MAX);
  for (uint32_t i = 0; i < a.supplyCount; i++) RequireText(a.supplies[i].type, IPP_KEYWORD_MAX);
  for (uint32_t i = 0; i < a.readyCount; i++) {
    RequireText(a.ready[i].source, IPP_KEYWORD_MAX);
    RequireText(a.ready[i].sizeName, IPP_KEYWORD_MAX);
  }
  IppStatus s;
  IppStatusOf(&a, &s);
  Require(s.codeCount >= 1 && s.codeCount <= IPP_MAX_STATUS_CODES);
  for (uint32_t i = 0; i < s.codeCount; i++) Require(s.codes[i] >= 10000 && s.codes[i] <= 99999);

  // The same bytes as a printer URI (cut at their first NUL).
  char uri[1024];
  const size_t n = size < sizeof uri - 1 ? size : sizeof uri - 1;
  memcpy(uri, copy, n);
  uri[n] = '\0';
  uint8_t request[IPP_REQUEST_MAX + 16];
  memset(request, 0xEE, sizeof request);
  const size_t written = IppBuildGetPrinterAttributes(request, IPP_REQUEST_MAX, uri, 1);
  Require(written <= IPP_REQUEST_MAX && request[IPP_REQUEST_MAX] == 0xEE);
  if (written) {
    Require(request[written - 1] == 0x03);
    IppPrinterAttributes echo;  // a request reads as a response of the same encoding
    Require(IppReadPrinterAttributes(request, written, &echo) == IPP_READ_OK);
  }
  free(copy);
  return 0;
}
