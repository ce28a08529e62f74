// Writing JSON values to a stream, for qvltool's one-object-a-line output.
#pragma once

#include <stdio.h>
#include <stddef.h>
#include <stdint.h>

// Writes bytes [text, text+length) as a JSON string with its quotes; control characters, quotes,
// backslashes and bytes above 0x7F are escaped (\u00XX), so any input gives valid JSON.
void JsonWriteString(FILE* out, const char* text, size_t length);
// The same for a NUL-terminated text.
void JsonWriteCString(FILE* out, const char* text);
// A NUL-terminated UTF-16 text as a JSON string: every unit outside printable ASCII as \uXXXX.
void JsonWriteWideString(FILE* out, const uint16_t* text);
