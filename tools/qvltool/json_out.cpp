#include "json_out.h"

#include <string.h>

void JsonWriteString(FILE* out, const char* text, size_t length) {
  fputc('"', out);
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
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
          fputc(c, out);
        }
    }
  }
  fputc('"', out);
}

void JsonWriteCString(FILE* out, const char* text) {
  JsonWriteString(out, text, strlen(text));
}
