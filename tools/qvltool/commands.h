// The sub-commands of qvltool. Each returns the process exit status.
#pragma once

enum {
  QVLTOOL_EXIT_OK = 0,     // done
  QVLTOOL_EXIT_WRONG = 1,  // the input was read and is wrong: lint problems, a file that is not
                           // a status message file
  QVLTOOL_EXIT_CALL = 2,   // bad arguments, or a file that cannot be read
};

int ParseCommand(int argc, char** argv);     // qvltool parse pjl|plain [--max-tokens N]
int DeviceIdCommand(int argc, char** argv);  // qvltool deviceid TEXT...
int LookupCommand(int argc, char** argv);    // qvltool lookup FILE CODE
int LintCommand(int argc, char** argv);      // qvltool lint FILE

// argv[0] of each command is the sub-command's name.
