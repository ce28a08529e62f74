#include "timeline.h"

#include <windows.h>
#include <stdio.h>

namespace {

bool Json = false;
bool WithBytes = false;
bool Utf8Text = false;
volatile LONG Muted = 0;
DWORD StartTick = 0;
CRITICAL_SECTION Lock;
bool ProgressShown = false;  // a progress line waits to be overwritten

// The length of the UTF-8 sequence at s (at most n bytes) and its code point; 0 when the
// bytes there are no well-formed sequence of two or more bytes.
size_t Utf8Sequence(const unsigned char* s, size_t n, uint32_t* code) {
  size_t length = s[0] >= 0xF0 && s[0] < 0xF5 ? 4 : s[0] >= 0xE0 ? 3 : s[0] >= 0xC2 ? 2 : 0;
  if (length == 0 || length > n) return 0;
  uint32_t c = s[0] & (0x7F >> length);
  for (size_t i = 1; i < length; i++) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (s[i] & 0x3F);
  }
  const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return 0;
  *code = c;
  return length;
}

void AppendEscape(std::string* out, uint32_t unit) {
  char esc[8];
  snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(unit));
  out->append(esc);
}

// utf8: sequences of UTF-8 as the characters they stand for (\uXXXX, surrogate pairs above
// U+FFFF), other bytes as the characters 0 to 255.
void AppendJsonString(std::string* out, const unsigned char* s, size_t n, bool utf8 = false) {
  out->push_back('"');
  for (size_t i = 0; i < n; i++) {
    unsigned char c = s[i];
    uint32_t code;
    size_t length = utf8 && c >= 0x80 ? Utf8Sequence(s + i, n - i, &code) : 0;
    if (length) {
      if (code >= 0x10000) {
        AppendEscape(out, 0xD800 + ((code - 0x10000) >> 10));
        AppendEscape(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
      } else {
        AppendEscape(out, code);
      }
      i += length - 1;
      continue;
    }
    switch (c) {
      case '"':
        out->append("\\\"");
        break;
      case '\\':
        out->append("\\\\");
        break;
      case '\n':
        out->append("\\n");
        break;
      case '\r':
        out->append("\\r");
        break;
      case '\t':
        out->append("\\t");
        break;
      case '\f':
        out->append("\\f");
        break;
      default:
        if (c < 0x20 || c >= 0x7f) {
          AppendEscape(out, c);
        } else {
          out->push_back(static_cast<char>(c));
        }
    }
  }
  out->push_back('"');
}

void AppendKey(TimelineRecord* r, const char* key) {
  r->json.append(",\"");
  r->json.append(key);
  r->json.append("\":");
  r->human.push_back(' ');
  r->human.append(key);
  r->human.push_back('=');
}

}  // namespace

void TimelineStart(bool json, bool bytes) {
  InitializeCriticalSection(&Lock);
  Json = json;
  WithBytes = bytes;
  StartTick = GetTickCount();
}

void TimelineTextIsUtf8(bool utf8) {
  Utf8Text = utf8;
}

void TimelineMute(bool mute) {
  InterlockedExchange(&Muted, mute ? 1 : 0);
}

bool TimelineWantsBytes() {
  return WithBytes;
}

uint32_t TimelineNow() {
  return GetTickCount() - StartTick;
}

void RecordBegin(TimelineRecord* r, const char* kind) {
  char head[64];
  uint32_t t = TimelineNow();
  snprintf(head, sizeof head, "{\"t\":%lu,\"kind\":\"", static_cast<unsigned long>(t));
  r->json = head;
  r->json.append(kind);
  r->json.push_back('"');
  snprintf(head, sizeof head, "%7lu ms  %-9s", static_cast<unsigned long>(t), kind);
  r->human = head;
}

void RecordString(TimelineRecord* r, const char* key, const char* value) {
  AppendKey(r, key);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(value ? value : "");
  AppendJsonString(&r->json, s, strlen(reinterpret_cast<const char*>(s)), Utf8Text);
  r->human.append(value ? value : "");
}

void RecordNumber(TimelineRecord* r, const char* key, long long value) {
  char text[32];
  snprintf(text, sizeof text, "%lld", value);
  AppendKey(r, key);
  r->json.append(text);
  r->human.append(text);
}

void RecordHex(TimelineRecord* r, const char* key, uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(value));
  AppendKey(r, key);
  r->json.push_back('"');
  r->json.append(text);
  r->json.push_back('"');
  r->human.append(text);
}

void RecordBytes(TimelineRecord* r, const char* key, const void* data, size_t count, size_t limit) {
  size_t n = count < limit ? count : limit;
  std::string text;
  AppendJsonString(&text, static_cast<const unsigned char*>(data), n);
  AppendKey(r, key);
  r->json.append(text);
  r->human.append(text);
  if (n < count) RecordNumber(r, "cut", static_cast<long long>(count - n));
}

void RecordEnd(TimelineRecord* r) {
  if (Muted) return;
  r->json.push_back('}');
  EnterCriticalSection(&Lock);
  if (ProgressShown) {
    fputs("\r\x1b[K", stderr);  // clear the progress line before a record
    ProgressShown = false;
  }
  fputs(Json ? r->json.c_str() : r->human.c_str(), stdout);
  fputc('\n', stdout);
  fflush(stdout);
  LeaveCriticalSection(&Lock);
}

void TimelineProgress(const char* text) {
  if (Json || Muted) return;
  EnterCriticalSection(&Lock);
  fprintf(stderr, "\r%s", text);
  fflush(stderr);
  ProgressShown = true;
  LeaveCriticalSection(&Lock);
}
