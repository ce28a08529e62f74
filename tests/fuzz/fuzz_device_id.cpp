// Device ID reading over arbitrary bytes, in a buffer exactly as long as the text so that any
// read past its NUL is caught. The result, the flags and the model number are compared with a
// plain reading of the fields, and bits outside identification must stay as they were.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fuzz_parsers_check.h"
#include "identify.h"

namespace {

const DWORD kIdFlags = PF_MODEL_3470 | PF_MODEL_3820 | PF_FAMILY_MODEL | PF_FAMILY_MAKER;
const DWORD kOtherFlags = PF_THREAD_RUN | PF_PJL_PRINTER | PF_DRUM_RESET;

struct Expected {
  DWORD result;
  DWORD flags;
  DWORD model;
};

uint32_t Capped(const std::string& s) {
  uint32_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    v = v * 10 + static_cast<uint32_t>(c - '0');
    if (v > 99999) break;
  }
  return v;
}

bool Begins(const std::string& s, const char* prefix) {
  return s.compare(0, strlen(prefix), prefix) == 0;
}

// Fields written out from their definition: the key runs to the next colon, the value to the
// next ";" after it.
Expected Reference(const std::string& text, DWORD flags, DWORD model) {
  Expected e = {0, flags, model};
  size_t p = 0;
  while (p < text.size()) {
    size_t colon = text.find(':', p);
    if (colon == std::string::npos) break;
    std::string key = text.substr(p, colon + 1 - p);
    size_t semi = text.find(';', colon + 1);
    std::string value =
        text.substr(colon + 1, semi == std::string::npos ? std::string::npos : semi - colon - 1);
    if (key == "MODEL:" || key == "MDL:") {
      e.result = 1;
      e.flags &= ~(PF_MODEL_3470 | PF_MODEL_3820 | PF_FAMILY_MODEL);
      if (Begins(value, "QV-L3820")) {
        e.flags |= PF_MODEL_3820 | PF_FAMILY_MODEL;
        e.model = 3820;
      } else if (Begins(value, "QV-L3470")) {
        e.flags |= PF_MODEL_3470 | PF_FAMILY_MODEL;
        e.model = 3470;
      } else if (Begins(value, "QV-L")) {
        e.flags |= PF_FAMILY_MODEL;
        e.model = Capped(value.substr(4));
      }
    } else if ((key == "MANUFACTURER:" || key == "MFG:") && Begins(value, "Zemblaxon")) {
      e.flags |= PF_FAMILY_MAKER;
    }
    if (semi == std::string::npos) break;
    p = semi + 1;
  }
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const std::string text(bytes, strnlen(bytes, size));

  static PortRecord port;
  memset(&port, 0, sizeof port);
  // Start from what an earlier identification may have left.
  DWORD startFlags = kOtherFlags | ((size & 1) ? PF_MODEL_3470 | PF_FAMILY_MODEL : 0) |
                     ((size & 2) ? PF_FAMILY_MAKER : 0);
  SetPortFlags(&port, startFlags);
  IdentifiedModelNumber = 4242;

  char* buffer = static_cast<char*>(malloc(text.size() + 1));
  memcpy(buffer, text.c_str(), text.size() + 1);
  DWORD result = ParseDeviceId(&port, buffer);
  free(buffer);

  Expected want = Reference(text, startFlags & kIdFlags, 4242);
  FUZZ_CHECK(result == want.result);
  FUZZ_CHECK((PortFlags(&port) & kIdFlags) == want.flags);
  FUZZ_CHECK((PortFlags(&port) & ~kIdFlags) == kOtherFlags);
  FUZZ_CHECK(IdentifiedModelNumber == want.model);
  FUZZ_CHECK(IdentifiedModelNumber <= 999999);
  return 0;
}
