// The run's timeline: one record per thing that happened (a monitor operation and its result,
// bytes at the port, a printer status set, a reply, a printer event, a message to the display
// program). Printed as it happens, either as one JSON object a line or as a readable line.
// Records are built field by field and printed whole; any thread may emit.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

struct TimelineRecord {
  std::string json;   // {"t":..,"kind":".." ... so far
  std::string human;  // the same fields, readable
};

// Starts the clock. json: JSON lines, else readable; bytes: records carry escaped bytes.
void TimelineStart(bool json, bool bytes);
// From now on RecordString reads its text as UTF-8 (NT mode: names came wide) and writes it as
// the characters it stands for; before, each byte is one character (0 to 255), as the ANSI
// names of Windows 95 mode. Bytes that are no UTF-8 stay one character each.
void TimelineTextIsUtf8(bool utf8);
// Stops all output (benchmarks).
void TimelineMute(bool mute);
bool TimelineWantsBytes();
// Milliseconds since TimelineStart.
uint32_t TimelineNow();

void RecordBegin(TimelineRecord* r, const char* kind);
void RecordString(TimelineRecord* r, const char* key, const char* value);
void RecordNumber(TimelineRecord* r, const char* key, long long value);
void RecordHex(TimelineRecord* r, const char* key, uint32_t value);  // "0x%08x"
// Bytes as a JSON string, each byte one character (code points 0 to 255), at most limit bytes.
void RecordBytes(TimelineRecord* r, const char* key, const void* data, size_t count, size_t limit);
void RecordEnd(TimelineRecord* r);  // prints the record

// A progress line for long jobs (readable mode only, on stderr, overwritten in place).
void TimelineProgress(const char* text);
