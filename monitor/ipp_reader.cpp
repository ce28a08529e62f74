// Reads a Get-Printer-Attributes response. The encoding (RFC 8010): version (2 bytes), status
// code (2), request id (4), then attribute groups: a delimiter tag below 0x10 opens a group,
// 0x03 ends the attributes; each value is a value tag (1), a name length and name (2 + n, an
// empty name adding a value to the attribute before) and a value length and value (2 + n).
// Collections (0x34 ... 0x37) nest; their members are named by 0x4A values. Only the printer
// attributes group is read; only media-col-ready's members are looked into.
#include <string.h>

#include "ipp_message.h"

namespace {

// Collections nest this deep at most; deeper is taken for a broken response.
const uint32_t MAX_DEPTH = 8;

// The attributes the reader keeps. ORDER: AttributeNames
enum Attribute : uint32_t {
  ATTR_OTHER,
  ATTR_STATE,
  ATTR_REASONS,
  ATTR_DEVICE_ID,
  ATTR_MAKE_AND_MODEL,
  ATTR_SUPPLY,
  ATTR_MARKER_TYPES,
  ATTR_MARKER_LEVELS,
  ATTR_INPUT_TRAY,
  ATTR_MEDIA_COL_READY,
  ATTR_MEDIA_READY,
  ATTR_COUNT,
};

const char* const AttributeNames[ATTR_COUNT] = {
    "",
    "printer-state",
    "printer-state-reasons",
    "printer-device-id",
    "printer-make-and-model",
    "printer-supply",
    "marker-types",
    "marker-levels",
    "printer-input-tray",
    "media-col-ready",
    "media-ready",
};

// The media-col-ready members kept.
enum Member : uint32_t { MEMBER_OTHER, MEMBER_SOURCE, MEMBER_SIZE_NAME };

struct Bytes {
  const uint8_t* p;
  size_t n;
};

bool Equals(Bytes b, const char* text) {
  const size_t n = strlen(text);
  return b.n == n && memcmp(b.p, text, n) == 0;
}

Attribute AttributeNamed(Bytes name) {
  for (uint32_t a = ATTR_OTHER + 1; a < ATTR_COUNT; a++) {
    if (Equals(name, AttributeNames[a])) return static_cast<Attribute>(a);
  }
  return ATTR_OTHER;
}

uint32_t Big16(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 8 | p[1];
}

uint32_t Big32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Copies text into a buffer of `room` bytes, cut to fit and ended by a NUL; a NUL inside the
// text ends it there.
void CopyText(char* to, size_t room, Bytes text) {
  size_t n = 0;
  while (n < text.n && n + 1 < room && text.p[n] != 0) {
    to[n] = static_cast<char>(text.p[n]);
    n++;
  }
  to[n] = '\0';
}

// The text of a text or name value; the with-language forms carry the language first.
bool TextOf(uint8_t tag, Bytes value, Bytes* text) {
  if (tag == IPP_TAG_TEXT || tag == IPP_TAG_NAME || tag == IPP_TAG_KEYWORD) {
    *text = value;
    return true;
  }
  if (tag != IPP_TAG_TEXT_WITH_LANGUAGE && tag != IPP_TAG_NAME_WITH_LANGUAGE) return false;
  if (value.n < 2) return false;
  const size_t language = Big16(value.p);
  if (value.n < 2 + language + 2) return false;
  const size_t length = Big16(value.p + 2 + language);
  if (value.n != 2 + language + 2 + length) return false;
  text->p = value.p + 2 + language + 2;
  text->n = length;
  return true;
}

// A "key=value;key=value" field of an octetString (printer-supply, printer-input-tray).
bool FieldOf(Bytes value, const char* key, Bytes* field) {
  const size_t keyLength = strlen(key);
  size_t i = 0;
  while (i < value.n) {
    size_t end = i;
    while (end < value.n && value.p[end] != ';') end++;
    if (end - i > keyLength && memcmp(value.p + i, key, keyLength) == 0 &&
        value.p[i + keyLength] == '=') {
      field->p = value.p + i + keyLength + 1;
      field->n = end - i - keyLength - 1;
      return true;
    }
    i = end + 1;
  }
  return false;
}

// A decimal field, optionally negative, capped at +-999999999; `otherwise` when absent or bad.
int32_t NumberField(Bytes value, const char* key, int32_t otherwise) {
  Bytes f;
  if (!FieldOf(value, key, &f) || f.n == 0) return otherwise;
  size_t i = 0;
  const bool negative = f.p[0] == '-';
  if (negative) i++;
  if (i >= f.n) return otherwise;
  int32_t n = 0;
  for (; i < f.n; i++) {
    if (f.p[i] < '0' || f.p[i] > '9') return otherwise;
    if (n < 100000000) n = n * 10 + (f.p[i] - '0');
  }
  return negative ? -n : n;
}

void TextField(char* to, size_t room, Bytes value, const char* key) {
  Bytes f = {nullptr, 0};
  FieldOf(value, key, &f);
  CopyText(to, room, f);
}

// A printer-state-reasons keyword, its suffix taken off as its level.
void AddReason(IppPrinterAttributes* a, Bytes keyword) {
  if (a->reasonCount >= IPP_MAX_REASONS) {
    a->dropped++;
    return;
  }
  static const struct {
    const char* suffix;
    IppReasonLevel level;
  } Suffixes[] = {
      {"-error", IPP_LEVEL_ERROR}, {"-warning", IPP_LEVEL_WARNING}, {"-report", IPP_LEVEL_REPORT}};
  IppReason* r = &a->reasons[a->reasonCount++];
  r->level = IPP_LEVEL_ERROR;
  for (const auto& s : Suffixes) {
    const size_t n = strlen(s.suffix);
    if (keyword.n > n && memcmp(keyword.p + keyword.n - n, s.suffix, n) == 0) {
      keyword.n -= n;
      r->level = s.level;
      break;
    }
  }
  CopyText(r->keyword, sizeof r->keyword, keyword);
}

// The supply of index i (marker-* fill these by index); NULL past the record's room.
IppSupply* SupplyAt(IppPrinterAttributes* a, uint32_t i) {
  if (i >= IPP_MAX_SUPPLIES) {
    a->dropped++;
    return nullptr;
  }
  while (a->supplyCount <= i) {
    IppSupply* s = &a->supplies[a->supplyCount++];
    s->level = -2;
    s->maxCapacity = 100;
  }
  return &a->supplies[i];
}

// Where a value goes: one value of a kept attribute outside collections.
struct ReadState {
  Attribute attribute;
  uint32_t valueIndex;  // 0 for the first value of the attribute
  bool sawSupply;       // printer-supply came: marker-* are not needed
  bool sawColReady;     // media-col-ready came: media-ready is not needed
  uint32_t markerBase;  // supplies before the marker values
  Member member;        // the media-col-ready member whose value comes next
};

void KeepValue(IppPrinterAttributes* a, ReadState* s, uint8_t tag, Bytes v) {
  Bytes text;
  switch (s->attribute) {
    case ATTR_STATE:
      if (tag == IPP_TAG_ENUM && v.n == 4 && s->valueIndex == 0) a->state = Big32(v.p);
      break;
    case ATTR_REASONS:
      if (TextOf(tag, v, &text) && !Equals(text, "none")) AddReason(a, text);
      break;
    case ATTR_DEVICE_ID:
      if (s->valueIndex == 0 && TextOf(tag, v, &text)) {
        CopyText(a->deviceId, sizeof a->deviceId, text);
      }
      break;
    case ATTR_MAKE_AND_MODEL:
      if (s->valueIndex == 0 && TextOf(tag, v, &text)) {
        CopyText(a->makeAndModel, sizeof a->makeAndModel, text);
      }
      break;
    case ATTR_SUPPLY:
      if (tag != IPP_TAG_OCTET_STRING) break;
      if (!s->sawSupply) {  // printer-supply replaces what marker-* gave
        s->sawSupply = true;
        a->supplyCount = 0;
      }
      if (a->supplyCount >= IPP_MAX_SUPPLIES) {
        a->dropped++;
      } else {
        IppSupply* supply = &a->supplies[a->supplyCount++];
        TextField(supply->type, sizeof supply->type, v, "type");
        supply->level = NumberField(v, "level", -2);
        supply->maxCapacity = NumberField(v, "maxcapacity", -2);
      }
      break;
    case ATTR_MARKER_TYPES:
    case ATTR_MARKER_LEVELS: {
      if (s->sawSupply) break;
      IppSupply* supply = SupplyAt(a, s->valueIndex);
      if (!supply) break;
      if (s->attribute == ATTR_MARKER_TYPES && TextOf(tag, v, &text)) {
        CopyText(supply->type, sizeof supply->type, text);
      } else if (s->attribute == ATTR_MARKER_LEVELS && tag == IPP_TAG_INTEGER && v.n == 4) {
        supply->level = static_cast<int32_t>(Big32(v.p));
      }
      break;
    }
    case ATTR_INPUT_TRAY:
      if (tag != IPP_TAG_OCTET_STRING) break;
      if (a->trayCount >= IPP_MAX_TRAYS) {
        a->dropped++;
      } else {
        IppTray* tray = &a->trays[a->trayCount++];
        TextField(tray->name, sizeof tray->name, v, "name");
        tray->level = NumberField(v, "level", -2);
        tray->maxCapacity = NumberField(v, "maxcapacity", -2);
      }
      break;
    case ATTR_MEDIA_READY:
      // Only without media-col-ready, which also names the source.
      if (!s->sawColReady && TextOf(tag, v, &text)) {
        if (a->readyCount >= IPP_MAX_READY_MEDIA) {
          a->dropped++;
        } else {
          IppReadyMedia* m = &a->ready[a->readyCount++];
          m->source[0] = '\0';
          CopyText(m->sizeName, sizeof m->sizeName, text);
        }
      }
      break;
    default:
      break;
  }
}

// A value inside a collection: only media-col-ready's own members (depth 1) are kept.
void KeepMember(IppPrinterAttributes* a, ReadState* s, uint32_t depth, uint8_t tag, Bytes v) {
  if (s->attribute != ATTR_MEDIA_COL_READY || depth != 1) return;
  if (tag == IPP_TAG_MEMBER_NAME) {
    s->member = Equals(v, "media-source")      ? MEMBER_SOURCE
                : Equals(v, "media-size-name") ? MEMBER_SIZE_NAME
                                               : MEMBER_OTHER;
    return;
  }
  Bytes text;
  if (s->member == MEMBER_OTHER || a->readyCount == 0 || !TextOf(tag, v, &text)) return;
  IppReadyMedia* m = &a->ready[a->readyCount - 1];
  if (s->member == MEMBER_SOURCE) {
    CopyText(m->source, sizeof m->source, text);
  } else {
    CopyText(m->sizeName, sizeof m->sizeName, text);
  }
  s->member = MEMBER_OTHER;
}

}  // namespace

IppReadResult IppReadPrinterAttributes(const uint8_t* data, size_t length,
                                       IppPrinterAttributes* out) {
  memset(out, 0, sizeof *out);
  if (!data || length < 8) return IPP_READ_SHORT;
  if (data[0] != 1 && data[0] != 2) return IPP_READ_BAD;  // IPP 1.x and 2.x
  out->statusCode = static_cast<uint16_t>(Big16(data + 2));
  out->requestId = Big32(data + 4);
  size_t i = 8;
  uint8_t group = 0;
  uint32_t depth = 0;
  ReadState s = {};
  while (i < length) {
    const uint8_t tag = data[i++];
    if (tag < IPP_TAG_FIRST_VALUE) {
      if (depth != 0) return IPP_READ_BAD;  // a group inside a collection
      if (tag == IPP_TAG_END_OF_ATTRIBUTES) return IPP_READ_OK;
      group = tag;
      s.attribute = ATTR_OTHER;
      continue;
    }
    if (length - i < 2) return IPP_READ_SHORT;
    Bytes name = {data + i + 2, Big16(data + i)};
    i += 2;
    if (length - i < name.n + 2) return IPP_READ_SHORT;
    i += name.n;
    Bytes value = {data + i + 2, Big16(data + i)};
    i += 2;
    if (length - i < value.n) return IPP_READ_SHORT;
    i += value.n;
    if (group == 0) return IPP_READ_BAD;  // a value before any group
    if (depth > 0) {
      if (tag == IPP_TAG_BEGIN_COLLECTION) {
        if (++depth > MAX_DEPTH) return IPP_READ_BAD;
      } else if (tag == IPP_TAG_END_COLLECTION) {
        depth--;
      } else {
        KeepMember(out, &s, depth, tag, value);
      }
      continue;
    }
    if (tag == IPP_TAG_END_COLLECTION || tag == IPP_TAG_MEMBER_NAME) return IPP_READ_BAD;
    if (name.n > 0) {
      s.attribute = group == IPP_TAG_PRINTER_ATTRIBUTES ? AttributeNamed(name) : ATTR_OTHER;
      s.valueIndex = 0;
    } else {
      s.valueIndex++;
    }
    if (tag == IPP_TAG_BEGIN_COLLECTION) {
      depth = 1;
      s.member = MEMBER_OTHER;
      if (s.attribute == ATTR_MEDIA_COL_READY) {
        if (!s.sawColReady) {  // media-col-ready replaces what media-ready gave
          s.sawColReady = true;
          out->readyCount = 0;
        }
        if (out->readyCount >= IPP_MAX_READY_MEDIA) {
          out->dropped++;
          s.attribute = ATTR_OTHER;
        } else {
          memset(&out->ready[out->readyCount++], 0, sizeof out->ready[0]);
        }
      }
      continue;
    }
    KeepValue(out, &s, tag, value);
  }
  return depth == 0 ? IPP_READ_SHORT : IPP_READ_BAD;
}
