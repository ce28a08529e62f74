// qvltool deviceid TEXT...: identifies printers by their IEEE 1284 device ID as the monitor
// does, one set of port flags for all texts, so each text sees what the ones before it left.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "commands.h"
#include "identify.h"
#include "json_out.h"

namespace {

// The flags that identification sets, in increasing bit order.
struct FlagName {
  DWORD bit;
  const char* name;
};
const FlagName kModelFlagNames[] = {
    {PF_MODEL_3470, "PF_MODEL_3470"},
    {PF_MODEL_3820, "PF_MODEL_3820"},
    {PF_FAMILY_MODEL, "PF_FAMILY_MODEL"},
    {PF_FAMILY_MAKER, "PF_FAMILY_MAKER"},
};

const char kUsage[] =
    "usage: qvltool deviceid TEXT...\n"
    "\n"
    "Reads each TEXT as a printer's IEEE 1284 device ID (\"MFG:...;MDL:...;\") in turn, all\n"
    "against one port's flags that start empty, and prints per text:\n"
    "  {\"result\":R,\"flags\":[\"PF_...\",...],\"model\":M}\n"
    "result is 1 when the text held a model field, flags the model flags set afterwards and\n"
    "model the model number the monitor would send to the display program.\n";

}  // namespace

int DeviceIdCommand(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "qvltool deviceid: give at least one device ID text\n\n%s", kUsage);
    return 2;
  }
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    fputs(kUsage, stdout);
    return 0;
  }

  DWORD flags = 0;  // as a new port record's
  DWORD model = 0;  // as the monitor's at load
  for (int i = 1; i < argc; ++i) {
    // The parser cuts the text into fields in place: work on a copy.
    size_t length = strlen(argv[i]);
    char* text = static_cast<char*>(malloc(length + 1));
    if (text == NULL) {
      fputs("qvltool deviceid: out of memory\n", stderr);
      return 2;
    }
    memcpy(text, argv[i], length + 1);
    const DeviceIdFields fields = ReadDeviceIdFields(text);
    free(text);
    flags = FlagsAfterDeviceId(flags, fields);
    if (fields.modelNumberSeen) model = fields.modelNumber;

    printf("{\"result\":%d,\"flags\":[", fields.modelSeen ? 1 : 0);
    bool first = true;
    for (const FlagName& flag : kModelFlagNames) {
      if ((flags & flag.bit) == 0) continue;
      if (!first) fputc(',', stdout);
      JsonWriteCString(stdout, flag.name);
      first = false;
    }
    printf("],\"model\":%lu}\n", static_cast<unsigned long>(model));
  }
  return 0;
}
