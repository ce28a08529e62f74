#include "json_out.h"

#include <string.h>

namespace {

// One character (a byte, or a UTF-16 unit) of a JSON string.
void WriteJsonChar(FILE* out, unsigned c) {
  switch (c) {
    case '"':
      fputs("\\\"", out);
      break;
    case '\\':
      fputs("\\\\", out);
      break;
    case '\n':
      fputs("\\n", out);
      break;
    case '\r':
      fputs("\\r", out);
      break;
    case '\t':
      fputs("\\t", out);
      break;
    default:
      if (c < 0x20 || c >= 0x7F) {
        fprintf(out, "\\u%04x", c);
      } else {
        fputc(static_cast<int>(c), out);
      }
  }
}

}  // namespace

void JsonWriteString(FILE* out, const char* text, size_t length) {
  fputc('"', out);
  for (size_t i = 0; i < length; ++i) WriteJsonChar(out, static_cast<unsigned char>(text[i]));
  fputc('"', out);
}

void JsonWriteWideString(FILE* out, const uint16_t* text) {
  fputc('"', out);
  for (const uint16_t* p = text; *p != 0; ++p) WriteJsonChar(out, *p);
  fputc('"', out);
}

void JsonWriteCString(FILE* out, const char* text) {
  JsonWriteString(out, text, strlen(text));
}
