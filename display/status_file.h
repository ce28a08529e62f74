// The per-model status message file: a plain-text list of records (<CODE>, <GROP>, <ICON>,
// <STAT>, <RCVR>) read afresh for every lookup. Nothing here allocates or caches.
#pragma once

#include "win32.h"

#define STATUS_TEXT_SIZE 80     // status message with its NUL
#define RECOVERY_TEXT_SIZE 512  // recovery instructions with their NUL
#define FILE_LINE_SIZE 256      // one line piece (255 bytes) with its NUL
#define STATUS_PATH_SIZE 256    // system directory, "\qvl", model number
#define SYSTEM_DIR_SIZE 246     // room given to GetSystemDirectoryA

// One record of the file: the program holds one of these as its current entry.
struct StatusEntry {
  DWORD code;                             // status code of the entry
  LONG group;                             // display group; 0 = no dialog for this entry
  LONG iconId;                            // icon resource id; 0 = no icon and no picture
  char statusText[STATUS_TEXT_SIZE];      // short message, line ends kept
  char recoveryText[RECOVERY_TEXT_SIZE];  // recovery instructions, line ends kept
  UINT codePage;                          // the code page of the texts (the file's)
};

// The code page of a file that declares none (<CPAG> in its head): what the files have been
// written in.
#define STATUS_FILE_DEFAULT_CODE_PAGE 1252

// <ICON> numbers index this table of icon resource ids.
#define ICON_TABLE_COUNT 12
extern const LONG IconTable[ICON_TABLE_COUNT];
// The icon id for an <ICON> number; 0 (no icon, no picture) when the number is outside the table.
LONG IconIdForIndex(DWORD index);

// A status message file open for reading. Lines are served from a read-ahead buffer, and
// what a line read took beyond its LF goes back into the buffer, so a lookup costs one system
// call per 4 KiB rather than two per line; what is read is exactly what the 255-byte reads
// and seeks back would give.
#define STATUS_FILE_BUFFER 4096
struct StatusFile {
  HFILE file;
  UINT start;  // first unread byte of buffer
  UINT end;    // bytes held in buffer
  char buffer[STATUS_FILE_BUFFER];
};
// FALSE when the file cannot be opened.
BOOL OpenStatusFile(StatusFile* file, const char* path);
void CloseStatusFile(StatusFile* file);

// ReadFileLine results. Both line results count as a line; LINE_PIECE says that no LF was
// found in the 255 bytes read (a long line continues, or the file ends without a line end).
enum { LINE_END = 0, LINE_WHOLE = 1, LINE_PIECE = 2 };
// Reads the next line of at most 255 bytes into line (NUL-terminated, FILE_LINE_SIZE bytes).
// A line of nothing or one byte before its LF comes back empty; a backslash before CR LF (or
// before a lone LF) is dropped with the line end so that the next line continues this one.
int ReadFileLine(StatusFile* file, char* line);

// ReadTaggedLine results.
enum { TAGGED_END = 0, TAGGED_TAG = 1, TAGGED_TEXT = 2 };
// Reads the next line that is neither empty nor a comment. TAGGED_TAG when it starts with tag
// (ASCII case ignored), TAGGED_TEXT otherwise; value (FILE_LINE_SIZE bytes) then holds the rest
// of the line after the tag, with leading TABs skipped.
int ReadTaggedLine(StatusFile* file, char* value, const char* tag);

// True when the first six bytes of line equal the six-byte tag, ASCII case ignored.
BOOL TagMatches(const char* line, const char* tag);
// The tag expected in each reader state 0 to 4 ("<GROP>", "<ICON>", "<STAT>", "<RCVR>", "<CODE>").
#define READER_STATES 5
extern const char* const ExpectedTag[READER_STATES];

// Leading decimal digits of text; stops at a non-digit or once the value exceeds 99999, so the
// result is at most 999999. Text that does not start with a digit reads as 0.
DWORD ParseDecimal(const char* text);

// SearchStatusFile results.
enum { SEARCH_NO_FILE = 0, SEARCH_NOT_FOUND = 1, SEARCH_FOUND = 2 };
// One pass over the file at path for code. Empties the entry's texts first; on SEARCH_FOUND
// the entry holds the record (group and icon keep their values unless the record sets them)
// and the file's code page.
int SearchStatusFile(const char* path, DWORD code, StatusEntry* entry);
// Makes the record of code the entry (up to two passes). On failure the entry is exactly as
// before the call.
BOOL LookupStatusEntry(const char* path, DWORD code, StatusEntry* entry);

// Tags of a file's head, the lines before its first record.
#define HEAD_CODE_PAGE_TAG "<CPAG>"  // the code page of the texts
#define HEAD_PAPER_TAG "<PAPR>"      // the paper text, with {tray} and {size}
#define HEAD_TRAY_TAG "<TRAY>"       // a tray number and its name
#define HEAD_SIZE_TAG "<SIZE>"       // a size number, its PWG media name and its name

// A paper code 41xyy names tray x and paper size yy. When the file's head has the paper text
// (<PAPR>, with {tray} and {size} in it) and names both (<TRAY> x, <SIZE> yy), that text with
// the names becomes the entry's status text; otherwise the entry is left as it is. TRUE when
// the text was put in.
BOOL ApplyPaperNames(const char* path, DWORD code, StatusEntry* entry);

// text (one of the entry's texts) in UTF-16 from the entry's code page, into wide (room units).
// FALSE when the code page cannot convert it (wide is then empty).
BOOL StatusTextToWide(const StatusEntry* entry, const char* text, uint16_t* wide, int room);

// The path of a model's file: system directory, "\qvl", model number in decimal, into path
// (STATUS_PATH_SIZE bytes). FALSE when the system directory cannot be read.
BOOL BuildStatusFilePath(LONG model, char* path);
