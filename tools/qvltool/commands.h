// The sub-commands of qvltool. Each returns the process exit status: 0 success, 1 the input
// had problems (lint), 2 bad arguments.
#pragma once

int ParseCommand(int argc, char** argv);     // qvltool parse pjl|plain [--max-tokens N]
int DeviceIdCommand(int argc, char** argv);  // qvltool deviceid TEXT...
int LookupCommand(int argc, char** argv);    // qvltool lookup FILE CODE
int LintCommand(int argc, char** argv);      // qvltool lint FILE

// argv[0] of each command is the sub-command's name.
