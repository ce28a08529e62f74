// qvltool lookup FILE CODE: what the display program would show for CODE from FILE.
#include <stdio.h>
#include <stdlib.h>

#include "commands.h"
#include "json_out.h"
#include "status_file.h"

int LookupCommand(int argc, char** argv) {
  if (argc != 3) {
    fputs("usage: qvltool lookup FILE CODE\n", stderr);
    return 2;
  }
  char* end = NULL;
  unsigned long code = strtoul(argv[2], &end, 10);
  if (end == argv[2] || *end != '\0' || code > 0xFFFFFFFFul) {
    fprintf(stderr, "qvltool lookup: '%s' is not a status code\n", argv[2]);
    return 2;
  }

  // A file that cannot be read is an error of the call, not a code that is not in the file.
  StatusFile file;
  if (!OpenStatusFile(&file, argv[1])) {
    fprintf(stderr, "qvltool lookup: cannot open '%s'\n", argv[1]);
    return 1;
  }
  CloseStatusFile(&file);

  StatusEntry entry = {};  // as the program starts: code, group and icon 0, empty texts
  if (!LookupStatusEntry(argv[1], static_cast<DWORD>(code), &entry)) {
    puts("{\"found\":false}");
    return 0;
  }
  printf("{\"found\":true,\"code\":%lu,\"group\":%ld,\"iconId\":%ld,\"statusText\":",
         static_cast<unsigned long>(entry.code), static_cast<long>(entry.group),
         static_cast<long>(entry.iconId));
  JsonWriteCString(stdout, entry.statusText);
  fputs(",\"recoveryText\":", stdout);
  JsonWriteCString(stdout, entry.recoveryText);
  puts("}");
  return 0;
}
