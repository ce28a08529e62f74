// Status message file reader. Works on fixed buffers only; every path out of a pass closes
// the file.
#include "status_file.h"

#include "display_link.h"

#include <stdio.h>
#include <string.h>

const LONG IconTable[ICON_TABLE_COUNT] = {
    6503,  // 0  blue open circle
    6504,  // 1  blue open circle
    6003,  // 2  red circle with a zigzag stroke
    6506,  // 3  blue power symbol
    6001,  // 4  rollers and a crumpled sheet
    6006,  // 5  printer with two cartridges
    6000,  // 6  arrow into the printer's side
    6002,  // 7  cartridge taken out
    6008,  // 8  diamond with an exclamation mark
    6004,  // 9  tray over paper
    6005,  // 10 wrench
    6007,  // 11 tray over toner dots
};

// Indexed by the reader state: the tag that advances it.
const char* const ExpectedTag[READER_STATES] = {"<GROP>", "<ICON>", "<STAT>", "<RCVR>", "<CODE>"};

LONG IconIdForIndex(DWORD index) {
  return index < ICON_TABLE_COUNT ? IconTable[index] : 0;
}

BOOL OpenStatusFile(StatusFile* file, const char* path) {
  file->file = _lopen(path, OF_READ | OF_SHARE_DENY_WRITE);
  file->start = 0;
  file->end = 0;
  return file->file != HFILE_ERROR;
}

void CloseStatusFile(StatusFile* file) {
  if (file->file != HFILE_ERROR) _lclose(file->file);
  file->file = HFILE_ERROR;
}

// Up to n bytes (n < STATUS_FILE_BUFFER) in one piece of the buffer, as one _lread of n
// would return them; HFILE_ERROR when the first read of the file fails.
static UINT ReadStatusBytes(StatusFile* file, char* to, UINT n) {
  if (file->end - file->start < n) {
    // Keep the unread bytes and fill the rest of the buffer behind them.
    UINT keep = file->end - file->start;
    memmove(file->buffer, file->buffer + file->start, keep);
    file->start = 0;
    file->end = keep;
    UINT got = _lread(file->file, file->buffer + keep, STATUS_FILE_BUFFER - keep);
    if (got == (UINT)HFILE_ERROR) {
      if (keep == 0) return (UINT)HFILE_ERROR;
      got = 0;
    }
    file->end += got;
  }
  UINT have = file->end - file->start;
  if (n > have) n = have;
  memcpy(to, file->buffer + file->start, n);
  file->start += n;
  return n;
}

int ReadFileLine(StatusFile* file, char* line) {
  memset(line, 0, FILE_LINE_SIZE);
  UINT got = ReadStatusBytes(file, line, FILE_LINE_SIZE - 1);
  if (got == (UINT)HFILE_ERROR || got == 0) {
    line[0] = '\0';
    return LINE_END;
  }
  char* lf = static_cast<char*>(memchr(line, '\n', got));
  if (lf == NULL) return LINE_PIECE;  // the file position stays after the bytes read

  UINT i = static_cast<UINT>(lf - line);
  if (i <= 1) {
    line[0] = '\0';
  } else if (line[i - 2] == '\\' && line[i - 1] == '\r') {
    line[i - 2] = '\0';  // joined line: the backslash and its CR LF go
  } else if (line[i - 1] == '\\') {
    // A file whose line ends lost their CR joins the same way: the backslash is never text.
    line[i - 1] = '\0';
  } else {
    line[i + 1] = '\0';
  }
  // Give back what was read beyond the LF: it is still in the buffer, just before start.
  file->start -= got - i - 1;
  return LINE_WHOLE;
}

BOOL TagMatches(const char* line, const char* tag) {
  for (int i = 0; i < 6; ++i) {
    char a = line[i];
    char b = tag[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return FALSE;
    if (a == '\0') return FALSE;
  }
  return TRUE;
}

int ReadTaggedLine(StatusFile* file, char* value, const char* tag) {
  char line[FILE_LINE_SIZE];
  for (;;) {
    if (ReadFileLine(file, line) == LINE_END) return TAGGED_END;
    if (line[0] != '\0' && line[0] != '#') break;
  }
  int result = TAGGED_TEXT;
  const char* p = line;
  if (TagMatches(line, tag)) {
    result = TAGGED_TAG;
    p += 6;
  }
  while (*p == '\t') ++p;
  // The line is at most 255 bytes, and so is what is left of it.
  memset(value, 0, FILE_LINE_SIZE);
  memcpy(value, p, strlen(p));
  return result;
}

DWORD ParseDecimal(const char* text) {
  DWORD value = 0;
  for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<DWORD>(*p - '0');
    if (value > 99999) break;
  }
  return value;
}

static const char* SkipTabs(const char* text) {
  while (*text == '\t') ++text;
  return text;
}

// Appends value to text (size bytes) when both fit with the NUL; a value that would not fit
// is left out whole.
static void AppendWhole(char* text, size_t size, const char* value) {
  size_t have = strlen(text);
  size_t add = strlen(value);
  if (have + add < size) memcpy(text + have, value, add + 1);
}

int SearchStatusFile(const char* path, DWORD code, StatusEntry* entry) {
  StatusFile file;
  if (!OpenStatusFile(&file, path)) return SEARCH_NO_FILE;

  BOOL found = FALSE;
  BOOL head = TRUE;  // no <CODE> line read yet
  entry->statusText[0] = '\0';
  entry->recoveryText[0] = '\0';
  entry->codePage = STATUS_FILE_DEFAULT_CODE_PAGE;

  int state = 4;
  int result = SEARCH_NOT_FOUND;
  for (;;) {
    char value[FILE_LINE_SIZE];
    int kind = ReadTaggedLine(&file, value, ExpectedTag[state]);
    if (kind == TAGGED_END) break;
    if (kind == TAGGED_TAG) state = (state + 1) % READER_STATES;
    if (head && kind == TAGGED_TEXT && TagMatches(value, HEAD_CODE_PAGE_TAG)) {
      DWORD codePage = ParseDecimal(SkipTabs(value + 6));
      if (codePage != 0) entry->codePage = codePage;
    }
    if (state == 0) head = FALSE;

    if (!found) {
      if (state != 0) continue;
      DWORD number = ParseDecimal(value);
      if (number == 0) break;  // the end line
      if (number == code) found = TRUE;
      continue;
    }
    if (state == 0) {
      result = SEARCH_FOUND;  // the next record begins: this one is complete
      break;
    }
    switch (state) {
      case 1:
        entry->group = static_cast<LONG>(ParseDecimal(value));
        break;
      case 2:
        entry->iconId = IconIdForIndex(ParseDecimal(value));
        break;
      case 3:
        AppendWhole(entry->statusText, STATUS_TEXT_SIZE, value);
        break;
      case 4:
        AppendWhole(entry->recoveryText, RECOVERY_TEXT_SIZE, value);
        break;
    }
  }
  CloseStatusFile(&file);
  return result;
}

BOOL LookupStatusEntry(const char* path, DWORD code, StatusEntry* entry) {
  StatusEntry saved = *entry;
  entry->code = code;
  for (int pass = 0; pass < 2; ++pass) {
    int result = SearchStatusFile(path, code, entry);
    if (result == SEARCH_FOUND) return TRUE;
    if (result == SEARCH_NO_FILE) break;
  }
  *entry = saved;
  return FALSE;
}

// The next field of a head line from p: TABs skipped, then up to the next TAB or the line end,
// into field (FILE_LINE_SIZE bytes). Returns where the field ends.
static const char* NextField(const char* p, char* field) {
  p = SkipTabs(p);
  size_t n = 0;
  while (p[n] != '\0' && p[n] != '\t' && p[n] != '\r' && p[n] != '\n') ++n;
  memcpy(field, p, n);
  field[n] = '\0';
  return p + n;
}

// Appends text to out (STATUS_TEXT_SIZE bytes); FALSE when it does not fit.
static BOOL AppendPaperText(char* out, size_t* length, const char* text, size_t n) {
  if (*length + n >= STATUS_TEXT_SIZE) return FALSE;
  memcpy(out + *length, text, n);
  *length += n;
  out[*length] = '\0';
  return TRUE;
}

BOOL ApplyPaperNames(const char* path, DWORD code, StatusEntry* entry) {
  const DWORD tray = code / 100 % 10;
  const DWORD size = code % 100;
  if (code / 1000 != 41 || tray == 0 || size == 0) return FALSE;
  StatusFile file;
  if (!OpenStatusFile(&file, path)) return FALSE;
  char paper[FILE_LINE_SIZE] = "";
  char trayName[FILE_LINE_SIZE] = "";
  char sizeName[FILE_LINE_SIZE] = "";
  char line[FILE_LINE_SIZE];
  for (int result; (result = ReadFileLine(&file, line)) != LINE_END;) {
    if (TagMatches(line, ExpectedTag[4])) break;  // the head ends at the first record
    const char* value = line + 6;
    if (TagMatches(line, HEAD_PAPER_TAG)) {
      const char* text = SkipTabs(value);
      memcpy(paper, text, strlen(text) + 1);
    } else if (TagMatches(line, HEAD_TRAY_TAG) && ParseDecimal(SkipTabs(value)) == tray) {
      char number[FILE_LINE_SIZE];
      NextField(NextField(value, number), trayName);
    } else if (TagMatches(line, HEAD_SIZE_TAG) && ParseDecimal(SkipTabs(value)) == size) {
      // The PWG media name, then the name shown (the media name when there is none).
      char number[FILE_LINE_SIZE];
      char shown[FILE_LINE_SIZE];
      NextField(NextField(NextField(value, number), sizeName), shown);
      if (shown[0] != '\0') memcpy(sizeName, shown, strlen(shown) + 1);
    }
  }
  CloseStatusFile(&file);
  if (paper[0] == '\0' || trayName[0] == '\0' || sizeName[0] == '\0') return FALSE;

  char text[STATUS_TEXT_SIZE] = "";
  size_t length = 0;
  for (const char* p = paper; *p != '\0';) {
    BOOL fits;
    if (strncmp(p, "{tray}", 6) == 0) {
      fits = AppendPaperText(text, &length, trayName, strlen(trayName));
      p += 6;
    } else if (strncmp(p, "{size}", 6) == 0) {
      fits = AppendPaperText(text, &length, sizeName, strlen(sizeName));
      p += 6;
    } else {
      fits = AppendPaperText(text, &length, p, 1);
      ++p;
    }
    if (!fits) return FALSE;
  }
  memcpy(entry->statusText, text, length + 1);
  return TRUE;
}

BOOL StatusTextToWide(const StatusEntry* entry, const char* text, uint16_t* wide, int room) {
  const int n =
      MultiByteToWideChar(entry->codePage, 0, text, -1, reinterpret_cast<LPWSTR>(wide), room);
  if (n == 0 && room > 0) wide[0] = 0;
  return n != 0;
}

BOOL BuildStatusFilePath(LONG model, char* path) {
  char dir[SYSTEM_DIR_SIZE];
  UINT length = GetSystemDirectoryA(dir, SYSTEM_DIR_SIZE);
  if (length == 0 || length >= SYSTEM_DIR_SIZE) return FALSE;
  char number[16];
  snprintf(number, sizeof(number), "%ld", static_cast<long>(model));
  // 245 bytes of directory, "\qvl" and at most 11 digits and sign fit in 256 with the NUL.
  path[0] = '\0';
  strcat(path, dir);
  strcat(path, "\\" STATUS_FILE_PREFIX);
  strcat(path, number);
  return TRUE;
}
