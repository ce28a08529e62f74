// qvltool: runs the system's readers on text from outside and prints what they make of it.
#include <stdio.h>
#include <string.h>

#include "commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* usage;
};

const Command kCommands[] = {
    {"parse", ParseCommand, "parse pjl|plain [--max-tokens N]   parse printer replies from stdin"},
    {"deviceid", DeviceIdCommand,
     "deviceid TEXT...                   identify printers by device ID"},
    {"lookup", LookupCommand, "lookup FILE CODE                   look a code up in a status file"},
    {"lint", LintCommand, "lint FILE                          check a status message file"},
};

void PrintUsage(FILE* out) {
  fputs("usage: qvltool COMMAND [ARGUMENTS]\n\ncommands:\n", out);
  for (const Command& c : kCommands) fprintf(out, "  %s\n", c.usage);
  fputs("  help                               show this text\n", out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  if (strcmp(argv[1], "help") == 0 || strcmp(argv[1], "--help") == 0 ||
      strcmp(argv[1], "-h") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
  }
  fprintf(stderr, "qvltool: unknown command '%s'\n\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
