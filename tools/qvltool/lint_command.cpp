// qvltool lint FILE: reports, line by line, where a status message file departs from its
// format (statusfiles/README.md) or would behave other than its writer probably meant. The
// line ends are checked on the bytes; the rest is read with the display program's own line
// reader, following the same tag states over all records at once. These are the only rules the
// files are checked against.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "commands.h"
#include "status_file.h"

namespace {

const int kMaxCodes = 4096;  // codes remembered for the duplicate check

// Codes the program ever shows, the range it shows with the first code's record, and the codes
// it holds back until the user answers.
const DWORD kFirstShown = 10001;
const DWORD kLastShown = 50554;
const DWORD kFoldedFirst = 41000;
const DWORD kFoldedLast = 41999;
const DWORD kHeldCodes[] = {40556, 40558, 40559};

// Room in the dialogs, in average characters a line and lines.
const size_t kStatusColumns = 37;
const unsigned kStatusRows = 2;
const size_t kRecoveryColumns = 40;
const unsigned kRecoveryRows = 9;

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
  DWORD group;
  char statusText[STATUS_TEXT_SIZE];
  char recoveryText[RECOVERY_TEXT_SIZE];
  unsigned endLine;  // line of the first <CODE> that reads as 0; 0 = none yet
  BOOL afterEndReported;
  SeenCode seen[kMaxCodes];
  int seenCount;
  // The head: the paper text and the lengths of the tray and size names (0: not named).
  BOOL recordSeen;  // a <CODE> line was read: the head is over
  char paper[FILE_LINE_SIZE];
  unsigned paperLine;
  size_t trayName[10];
  size_t sizeName[100];
  unsigned tableLine;  // first <TRAY> or <SIZE> line
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

// True when value is decimal digits and nothing but its line end (a lone LF is reported as a
// line end of its own).
BOOL IsPlainNumber(const char* value) {
  const char* p = value;
  while (*p >= '0' && *p <= '9') ++p;
  return p != value && (*p == '\0' || strcmp(p, "\r\n") == 0 || strcmp(p, "\n") == 0);
}

// Lines text takes in a control columns wide, its line breaks kept and words wrapped.
unsigned WrappedRows(const char* text, size_t columns) {
  unsigned rows = 0;
  size_t column = 0;  // characters on the row being filled
  size_t word = 0;    // characters of the word being read
  for (const char* p = text;; ++p) {
    if (*p == ' ' || *p == '\r' || *p == '\n' || *p == '\0') {
      if (word > 0) {
        if (column == 0) {
          rows += static_cast<unsigned>((word - 1) / columns) + 1;
          column = (word - 1) % columns + 1;
        } else if (column + 1 + word <= columns) {
          column += 1 + word;
        } else {
          ++rows;
          column = word > columns ? columns : word;
        }
        word = 0;
      }
      if (*p == '\n' || *p == '\0') column = 0;
      if (*p == '\0') break;
    } else {
      ++word;
    }
  }
  return rows;
}

bool IsHeldCode(DWORD code) {
  for (DWORD held : kHeldCodes) {
    if (code == held) return true;
  }
  return false;
}

// What can be said of the open record once all of it is read.
void FinishRecord(Lint* lint) {
  if (lint->code == 0) return;
  const unsigned long code = static_cast<unsigned long>(lint->code);
  if (lint->group == 0 && IsHeldCode(lint->code)) {
    Report(lint, lint->codeLine,
           "code %lu is held back until the user answers: group 0 never shows it", code);
  }
  if (lint->group != 0 && WrappedRows(lint->statusText, kStatusColumns) == 0) {
    Report(lint, lint->codeLine, "code %lu has no status text: its dialog would be empty", code);
  }
  unsigned rows = WrappedRows(lint->statusText, kStatusColumns);
  if (rows > kStatusRows) {
    Report(lint, lint->codeLine,
           "status text of code %lu needs about %u lines: the dialog shows %u", code, rows,
           kStatusRows);
  }
  rows = WrappedRows(lint->recoveryText, kRecoveryColumns);
  if (rows > kRecoveryRows) {
    Report(lint, lint->codeLine,
           "recovery text of code %lu needs about %u lines: the dialog shows %u", code, rows,
           kRecoveryRows);
  }
}

void CheckCodeLine(Lint* lint, unsigned line, const char* value, BOOL tagged) {
  FinishRecord(lint);
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
  if (tagged && !IsPlainNumber(value)) {
    Report(lint, line, "<CODE> value is not a plain number: reads as %lu",
           static_cast<unsigned long>(number));
  }
  if (number < kFirstShown || number > kLastShown) {
    Report(lint, line, "code %lu is never shown: the program shows codes %lu to %lu only",
           static_cast<unsigned long>(number), static_cast<unsigned long>(kFirstShown),
           static_cast<unsigned long>(kLastShown));
  } else if (number > kFoldedFirst && number <= kFoldedLast) {
    Report(lint, line, "code %lu is shown with the record of %lu: this record is never read",
           static_cast<unsigned long>(number), static_cast<unsigned long>(kFoldedFirst));
  }
  if (lint->seenCount < kMaxCodes) lint->seen[lint->seenCount++] = {number, line};
  lint->code = number;
  lint->codeLine = line;
  lint->group = 0;
  lint->statusText[0] = '\0';
  lint->recoveryText[0] = '\0';
}

void CheckText(Lint* lint, unsigned line, const char* value, char* text, size_t size,
               const char* what) {
  size_t have = strlen(text);
  size_t add = strlen(value);
  if (have + add < size) {
    memcpy(text + have, value, add + 1);
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
    case 1:
      if (lint->code != 0) {
        lint->group = ParseDecimal(value);
        if (tagged && !IsPlainNumber(value)) {
          Report(lint, line, "<GROP> value is not a plain number: reads as %lu",
                 static_cast<unsigned long>(lint->group));
        }
      }
      break;
    case 2: {
      DWORD index = ParseDecimal(value);
      if (lint->code != 0 && tagged && !IsPlainNumber(value)) {
        Report(lint, line, "<ICON> value is not a plain number: reads as %lu",
               static_cast<unsigned long>(index));
      }
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
        CheckText(lint, line, value, lint->statusText, STATUS_TEXT_SIZE, "status text");
      }
      break;
    case 4:
      if (lint->code != 0) {
        CheckText(lint, line, value, lint->recoveryText, RECOVERY_TEXT_SIZE, "recovery text");
      }
      break;
  }
}

const char* const kHeadTags[] = {HEAD_CODE_PAGE_TAG, HEAD_PAPER_TAG, HEAD_TRAY_TAG, HEAD_SIZE_TAG};

// The head tag a line starts with, or NULL.
const char* HeadTag(const char* text) {
  for (const char* tag : kHeadTags) {
    if (TagMatches(text, tag)) return tag;
  }
  return NULL;
}

// The fields of a head line after its tag, at most three, cut at TABs and the line end; the
// count.
int HeadFields(const char* value, char fields[3][FILE_LINE_SIZE]) {
  int count = 0;
  const char* p = value;
  for (; count < 3;) {
    p = SkipTabs(p);
    size_t n = 0;
    while (p[n] != '\0' && p[n] != '\t' && p[n] != '\r' && p[n] != '\n') ++n;
    if (n == 0) break;
    memcpy(fields[count], p, n);
    fields[count][n] = '\0';
    ++count;
    p += n;
  }
  return count;
}

// A PWG media name: class_size-name_WIDTHxHEIGHTmm (or in), lower case.
BOOL IsMediaName(const char* name) {
  const char* last = strrchr(name, '_');
  const char* first = strchr(name, '_');
  if (first == NULL || last == first || first == name) return FALSE;
  for (const char* p = name; p < last; ++p) {
    if (!((*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') || *p == '_' || *p == '-' ||
          *p == '.')) {
      return FALSE;
    }
  }
  const char* x = strchr(last, 'x');
  size_t length = strlen(last);
  return x != NULL && x > last + 1 && length > 3 &&
         (strcmp(last + length - 2, "mm") == 0 || strcmp(last + length - 2, "in") == 0);
}

// One line of the head.
void CheckHeadLine(Lint* lint, unsigned line, const char* tag, const char* raw) {
  char fields[3][FILE_LINE_SIZE];
  const int count = HeadFields(raw + 6, fields);
  const DWORD number = count > 0 ? ParseDecimal(fields[0]) : 0;
  const BOOL plain = count > 0 && IsPlainNumber(fields[0]);
  if (strcmp(tag, HEAD_CODE_PAGE_TAG) == 0) {
    if (!plain || number == 0) Report(lint, line, "<CPAG> value is not a code page number");
  } else if (strcmp(tag, HEAD_PAPER_TAG) == 0) {
    memcpy(lint->paper, SkipTabs(raw + 6), strlen(SkipTabs(raw + 6)) + 1);
    lint->paperLine = line;
    if (strstr(lint->paper, "{tray}") == NULL && strstr(lint->paper, "{size}") == NULL) {
      Report(lint, line, "<PAPR> text names neither {tray} nor {size}");
    }
  } else if (strcmp(tag, HEAD_TRAY_TAG) == 0) {
    if (lint->tableLine == 0) lint->tableLine = line;
    if (!plain || number < 1 || number > 9 || count < 2) {
      Report(lint, line, "<TRAY> needs a tray number 1 to 9 and a name");
    } else {
      lint->trayName[number] = strlen(fields[1]);
    }
  } else {
    if (lint->tableLine == 0) lint->tableLine = line;
    if (!plain || number < 1 || number > 99 || count < 2) {
      Report(lint, line, "<SIZE> needs a size number 01 to 99 and a PWG media name");
    } else {
      if (!IsMediaName(fields[1])) {
        Report(lint, line, "'%s' is not a PWG media name (class_name_WxHmm or in)", fields[1]);
      }
      lint->sizeName[number] = strlen(fields[count == 3 ? 2 : 1]);
    }
  }
}

// The paper text with the longest tray and size names still fits the status text.
void CheckPaperTable(Lint* lint) {
  if (lint->tableLine == 0) return;
  if (lint->paperLine == 0) {
    Report(lint, lint->tableLine, "trays or sizes named, but no <PAPR> text: they are never shown");
    return;
  }
  size_t tray = 0, size = 0;
  for (size_t n : lint->trayName) tray = n > tray ? n : tray;
  for (size_t n : lint->sizeName) size = n > size ? n : size;
  size_t length = 0;
  for (const char* p = lint->paper; *p != '\0';) {
    if (strncmp(p, "{tray}", 6) == 0) {
      length += tray;
      p += 6;
    } else if (strncmp(p, "{size}", 6) == 0) {
      length += size;
      p += 6;
    } else {
      ++length;
      ++p;
    }
  }
  if (length > STATUS_TEXT_SIZE - 1) {
    Report(lint, lint->paperLine,
           "<PAPR> text with the longest names is %u bytes: past %u the 41000 record's text is "
           "shown",
           static_cast<unsigned>(length), static_cast<unsigned>(STATUS_TEXT_SIZE - 1));
  }
}

// Every line ends in CR LF, with no CR elsewhere. A file whose line ends were changed in a copy
// is reported once, at its first such line, with the count.
BOOL CheckLineEnds(Lint* lint) {
  FILE* in = fopen(lint->path, "rb");
  if (in == NULL) return FALSE;
  unsigned line = 1;
  unsigned bareLf = 0, bareLfFirst = 0, strayCr = 0, strayCrFirst = 0;
  int previous = EOF;
  for (int c; (c = getc(in)) != EOF; previous = c) {
    if (previous == '\r' && c != '\n' && strayCr++ == 0) strayCrFirst = line;
    if (c != '\n') continue;
    if (previous != '\r' && bareLf++ == 0) bareLfFirst = line;
    ++line;
  }
  fclose(in);
  if (previous == '\r' && strayCr++ == 0) strayCrFirst = line;
  if (bareLf != 0) {
    Report(lint, bareLfFirst, "line ends in LF alone (%u such lines): every line ends in CR LF",
           bareLf);
  }
  if (strayCr != 0) {
    Report(lint, strayCrFirst, "CR without LF (%u such): every line ends in CR LF", strayCr);
  }
  if (previous != EOF && previous != '\n' && previous != '\r') {
    Report(lint, line, "the last line has no line end: every line ends in CR LF");
  }
  return TRUE;
}

}  // namespace

int LintCommand(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: qvltool lint FILE\n", stderr);
    return QVLTOOL_EXIT_CALL;
  }
  static Lint lint;
  memset(&lint, 0, sizeof(lint));
  lint.path = argv[1];
  static StatusFile file;
  if (!OpenStatusFile(&file, argv[1])) {
    fprintf(stderr, "qvltool lint: cannot open '%s'\n", argv[1]);
    return QVLTOOL_EXIT_CALL;
  }
  if (!CheckLineEnds(&lint)) {
    CloseStatusFile(&file);
    fprintf(stderr, "qvltool lint: cannot read '%s'\n", argv[1]);
    return QVLTOOL_EXIT_CALL;
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
    const char* headTag = HeadTag(raw);
    if (headTag != NULL && !lint.recordSeen) {
      CheckHeadLine(&lint, line, headTag, raw);
    } else if (headTag != NULL) {
      Report(&lint, line, "%.6s after the first record: read as text, not as the file's head",
             headTag);
    }
    if (tagged && state == 4) lint.recordSeen = TRUE;
    if (tagged) state = (state + 1) % READER_STATES;
    CheckLine(&lint, line, state, SkipTabs(tagged ? raw + 6 : raw), tagged);
  }
  CloseStatusFile(&file);

  FinishRecord(&lint);
  CheckPaperTable(&lint);
  if (lint.code != 0) {
    Report(&lint, lint.codeLine,
           "record of code %lu runs into the end of the file: it is never "
           "found (end the file with a <CODE> 0 line)",
           static_cast<unsigned long>(lint.code));
  } else if (lint.endLine == 0) {
    Report(&lint, physical, "the end line <CODE> 0 is missing: every file ends with it");
  }
  return lint.problems != 0 ? QVLTOOL_EXIT_WRONG : QVLTOOL_EXIT_OK;
}
