// qvltool lint FILE: reports, line by line, what makes a status message file behave other
// than its writer probably meant. It reads the file with the display program's own line reader
// and follows the same tag states, over all records at once.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "commands.h"
#include "status_file.h"

namespace {

const int kMaxCodes = 4096;  // codes remembered for the duplicate check

struct SeenCode {
  DWORD code;
  unsigned line;
};

struct Lint {
  const char* path;
  unsigned problems;
  // The record being read.
  DWORD code;  // 0: none open
  unsigned codeLine;
  size_t statusLength;
  size_t recoveryLength;
  unsigned endLine;  // line of the first <CODE> that reads as 0; 0 = none yet
  BOOL afterEndReported;
  SeenCode seen[kMaxCodes];
  int seenCount;
};

void Report(Lint* lint, unsigned line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void Report(Lint* lint, unsigned line, const char* format, ...) {
  printf("%s:%u: ", lint->path, line);
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  putchar('\n');
  ++lint->problems;
}

// The tag a line starts with, or NULL.
const char* LeadingTag(const char* text) {
  for (const char* tag : ExpectedTag) {
    if (TagMatches(text, tag)) return tag;
  }
  return NULL;
}

const char* SkipTabs(const char* text) {
  while (*text == '\t') ++text;
  return text;
}

void CheckCodeLine(Lint* lint, unsigned line, const char* value, BOOL tagged) {
  DWORD number = ParseDecimal(value);
  if (number == 0) {
    if (tagged && value[0] == ' ') {
      Report(lint, line,
             "<CODE> and its number are separated by a space: reads as 0 and ends "
             "the search");
    } else if (tagged && !(value[0] >= '0' && value[0] <= '9')) {
      Report(lint, line,
             "<CODE> value does not start with a digit: reads as 0 and ends the "
             "search");
    }
    if (lint->endLine == 0) lint->endLine = line;
    lint->code = 0;
    return;
  }
  if (lint->endLine != 0 && !lint->afterEndReported) {
    Report(lint, line,
           "code %lu and the records after it are never found: the search ends at "
           "line %u",
           static_cast<unsigned long>(number), lint->endLine);
    lint->afterEndReported = TRUE;
  }
  for (int i = 0; i < lint->seenCount; ++i) {
    if (lint->seen[i].code == number) {
      Report(lint, line, "duplicate code %lu: only the record at line %u is found",
             static_cast<unsigned long>(number), lint->seen[i].line);
      break;
    }
  }
  if (lint->seenCount < kMaxCodes) lint->seen[lint->seenCount++] = {number, line};
  lint->code = number;
  lint->codeLine = line;
  lint->statusLength = 0;
  lint->recoveryLength = 0;
}

void CheckText(Lint* lint, unsigned line, const char* value, size_t* length, size_t size,
               const char* what) {
  size_t add = strlen(value);
  if (*length + add < size) {
    *length += add;
  } else {
    Report(lint, line, "%s line dropped: the text would pass %u bytes", what,
           static_cast<unsigned>(size - 1));
  }
}

// One significant line in reader state state (after the tag, if any, advanced it).
void CheckLine(Lint* lint, unsigned line, int state, const char* value, BOOL tagged) {
  switch (state) {
    case 0:
      CheckCodeLine(lint, line, value, tagged);
      break;
    case 2: {
      DWORD index = ParseDecimal(value);
      if (lint->code != 0 && IconIdForIndex(index) == 0) {
        Report(lint, line,
               "icon number %lu is outside the icon table (0 to %d): no icon and no "
               "picture",
               static_cast<unsigned long>(index), ICON_TABLE_COUNT - 1);
      }
      break;
    }
    case 3:
      if (lint->code != 0) {
        CheckText(lint, line, value, &lint->statusLength, STATUS_TEXT_SIZE, "status text");
      }
      break;
    case 4:
      if (lint->code != 0) {
        CheckText(lint, line, value, &lint->recoveryLength, RECOVERY_TEXT_SIZE, "recovery text");
      }
      break;
  }
}

}  // namespace

int LintCommand(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: qvltool lint FILE\n", stderr);
    return 2;
  }
  static Lint lint;
  memset(&lint, 0, sizeof(lint));
  lint.path = argv[1];
  static StatusFile file;
  if (!OpenStatusFile(&file, argv[1])) {
    fprintf(stderr, "qvltool lint: cannot open '%s'\n", argv[1]);
    return 2;
  }

  int state = 4;
  unsigned physical = 1;  // line number of the piece being read
  BOOL longReported = FALSE;
  char raw[FILE_LINE_SIZE];
  for (int result; (result = ReadFileLine(&file, raw)) != LINE_END;) {
    unsigned line = physical;
    if (result == LINE_WHOLE) {
      ++physical;
      longReported = FALSE;
    } else if (strlen(raw) == FILE_LINE_SIZE - 1 && !longReported) {
      Report(&lint, line, "line longer than 254 bytes: read as several lines");
      longReported = TRUE;
    }
    if (raw[0] == '\0' || raw[0] == '#') continue;

    const char* afterBlanks = raw;
    while (*afterBlanks == ' ' || *afterBlanks == '\t') ++afterBlanks;
    const char* expected = ExpectedTag[state];
    BOOL tagged = TagMatches(raw, expected);
    const char* tag = LeadingTag(raw);
    if (afterBlanks != raw && LeadingTag(afterBlanks) != NULL) {
      Report(&lint, line, "tag after leading blanks: read as a text line");
    } else if (!tagged && tag != NULL) {
      Report(&lint, line, "%.6s where %s was expected: read as %s", tag, expected,
             state <= 2 ? "a number" : "text");
    } else if (!tagged && state <= 2 && lint.code != 0) {
      Report(&lint, line, "text line where %s was expected: read as a number", expected);
    }
    if (tagged) state = (state + 1) % READER_STATES;
    CheckLine(&lint, line, state, SkipTabs(tagged ? raw + 6 : raw), tagged);
  }
  CloseStatusFile(&file);

  if (lint.code != 0) {
    Report(&lint, lint.codeLine,
           "record of code %lu runs into the end of the file: it is never "
           "found (end the file with a <CODE> 0 line)",
           static_cast<unsigned long>(lint.code));
  }
  return lint.problems != 0 ? 1 : 0;
}
