// Small operations on NUL-terminated text, shared by the plain reply parser and the device ID.
#pragma once

#include <stdint.h>

// First occurrence of c before the NUL, or NULL.
const char* FindChar(const char* text, char c);
// Difference of the first differing byte pair of n (signed 8-bit), 0 when all n are equal.
int CompareBytes(const char* a, const char* b, uint32_t n);
// Leading decimal digits; stops at a non-digit or once the value exceeds 99999.
uint32_t ReadDecimalCapped(const char* text);
// Leading decimal digits, wrapping at 32 bits.
uint32_t ReadDecimal(const char* text);
// Leftmost occurrence of needle (at most 255 characters) in haystack, or NULL.
const char* FindSubstring(const char* haystack, const char* needle);
