// qvltool lookup FILE CODE: what the display program would show for CODE from FILE, started
// afresh: the code goes through the program's filter first (a code it never shows is ignored,
// 41000 to 41999 are shown with the record of 41000, their tray and size named where the file
// can), and "record" names the code whose record answered.
#include <stdio.h>
#include <stdlib.h>

#include "commands.h"
#include "json_out.h"
#include "status_file.h"
#include "status_filter.h"

namespace {

// A status message file has a <CODE> line (a record or the end line) before its end; a file
// without one (an empty file, a text of another kind) is not one.
BOOL HasCodeLine(StatusFile* file) {
  char line[FILE_LINE_SIZE];
  for (int result; (result = ReadFileLine(file, line)) != LINE_END;) {
    if (TagMatches(line, "<CODE>")) return TRUE;
  }
  return FALSE;
}

// A text as the dialog shows it: from the file's code page; its bytes when that code page
// cannot be converted here.
void WriteEntryText(const StatusEntry& entry, const char* text) {
  static uint16_t wide[RECOVERY_TEXT_SIZE];
  if (StatusTextToWide(&entry, text, wide, RECOVERY_TEXT_SIZE)) {
    JsonWriteWideString(stdout, wide);
  } else {
    JsonWriteCString(stdout, text);
  }
}

}  // namespace

int LookupCommand(int argc, char** argv) {
  if (argc != 3) {
    fputs("usage: qvltool lookup FILE CODE\n", stderr);
    return QVLTOOL_EXIT_CALL;
  }
  char* end = NULL;
  unsigned long code = strtoul(argv[2], &end, 10);
  if (end == argv[2] || *end != '\0' || code > 0xFFFFFFFFul) {
    fprintf(stderr, "qvltool lookup: '%s' is not a status code\n", argv[2]);
    return QVLTOOL_EXIT_CALL;
  }

  // A file that cannot be read, or that is no status message file, is an error of the call,
  // not a code that is not in the file.
  static StatusFile file;
  if (!OpenStatusFile(&file, argv[1])) {
    fprintf(stderr, "qvltool lookup: cannot open '%s'\n", argv[1]);
    return QVLTOOL_EXIT_CALL;
  }
  const BOOL statusFile = HasCodeLine(&file);
  CloseStatusFile(&file);
  if (!statusFile) {
    fprintf(stderr, "qvltool lookup: '%s' is not a status message file (no <CODE> line)\n",
            argv[1]);
    return QVLTOOL_EXIT_WRONG;
  }

  // As the program holds it at its start: nothing shown, nothing held.
  static DisplayState state;
  DWORD record = static_cast<DWORD>(code);
  if (!FilterStatusCode(&state.filter, &record, 0, 0, FALSE, NULL)) {
    printf("{\"found\":false,\"code\":%lu,\"ignored\":true}\n", code);
    return QVLTOOL_EXIT_OK;
  }
  StatusEntry& entry = state.current;
  if (!LoadStatusEntry(argv[1], static_cast<DWORD>(code), record, &entry)) {
    printf("{\"found\":false,\"code\":%lu,\"record\":%lu}\n", code,
           static_cast<unsigned long>(record));
    return QVLTOOL_EXIT_OK;
  }
  printf(
      "{\"found\":true,\"code\":%lu,\"record\":%lu,\"group\":%ld,\"iconId\":%ld,"
      "\"codePage\":%lu,\"statusText\":",
      code, static_cast<unsigned long>(entry.code), static_cast<long>(entry.group),
      static_cast<long>(entry.iconId), static_cast<unsigned long>(entry.codePage));
  WriteEntryText(entry, entry.statusText);
  fputs(",\"recoveryText\":", stdout);
  WriteEntryText(entry, entry.recoveryText);
  puts("}");
  return QVLTOOL_EXIT_OK;
}
