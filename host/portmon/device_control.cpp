#include "device_control.h"

#include <ntddpar.h>
#include <string.h>
#include <usbprint.h>

#include <string>

#include "spooler_win95.h"

namespace {

// USB print ports fail device ID requests with larger buffers.
const DWORD USB_BUFFER_LIMIT = 4094;

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// As IEEE 1284 sends it: the length in two big-endian bytes that count themselves, the ID.
std::string LengthPrefixed(const char* id) {
  size_t n = strlen(id) + 2;
  if (n > 0xFFFF) n = 0xFFFF;
  std::string answer;
  answer.push_back(static_cast<char>(n >> 8));
  answer.push_back(static_cast<char>(n & 0xFF));
  answer.append(id, n - 2);
  return answer;
}

}  // namespace

bool PortKindNamed(const char* name, PortKind* kind) {
  const struct {
    const char* name;
    PortKind kind;
  } kinds[] = {
      {"usb", PORT_KIND_USB}, {"parallel", PORT_KIND_PARALLEL}, {"network", PORT_KIND_NETWORK}};
  for (const auto& k : kinds) {
    if (strcmp(name, k.name) == 0) {
      *kind = k.kind;
      return true;
    }
  }
  return false;
}

bool PortKindAnswers(PortKind kind, DWORD control) {
  switch (kind) {
    case PORT_KIND_WIN95:
      return control == CONTROL_ID_DEVICE_ID;
    case PORT_KIND_USB:
      return control == IOCTL_USBPRINT_GET_1284_ID;
    case PORT_KIND_PARALLEL:
      return control == IOCTL_PAR_QUERY_DEVICE_ID || control == IOCTL_PAR_QUERY_RAW_DEVICE_ID;
    case PORT_KIND_NETWORK:
      break;
  }
  return false;
}

BOOL AnswerDeviceControl(PortKind kind, DWORD control, const char* id, LPSTR out, DWORD outSize,
                         LPDWORD returned) {
  if (!PortKindAnswers(kind, control)) {
    bool driver = kind == PORT_KIND_USB || kind == PORT_KIND_PARALLEL;
    return Fail(driver ? ERROR_INVALID_PARAMETER : ERROR_NOT_SUPPORTED);
  }
  if (kind == PORT_KIND_USB && outSize > USB_BUFFER_LIMIT) return Fail(ERROR_GEN_FAILURE);
  if (!out || outSize == 0) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (!id) return Fail(ERROR_NOT_READY);
  DWORD n;
  if (kind == PORT_KIND_WIN95) {
    n = static_cast<DWORD>(strlen(id));
    if (n >= outSize) n = outSize - 1;  // always terminated
    memcpy(out, id, n);
    out[n] = '\0';
  } else {
    std::string answer =
        control == IOCTL_PAR_QUERY_DEVICE_ID ? std::string(id) : LengthPrefixed(id);
    answer.push_back('\0');
    n = answer.size() < outSize ? static_cast<DWORD>(answer.size()) : outSize;
    memcpy(out, answer.data(), n);
  }
  if (returned) *returned = n;
  return TRUE;
}
