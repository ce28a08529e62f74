// The built-in printer models and the configuration defaults that go with them.
#include <string.h>

#include "emulated_printer_internal.h"

const PrinterModel PrinterModels[] = {
    // name, device ID, dialect, drum command, spaced, config item, paper, installed, total, largest
    {"generic", "MFG:Generic;MDL:PageWriter 4;CMD:PJL;", DIALECT_PJL, DRUM_CMD_NONE, false,
     "MEMORY", "LETTER", 2097152, 1494416, 1494176},
    // Reports its installed memory less the engine's own 212000 bytes (the monitor adds them).
    {"QV-L3820", "MFG:Zemblaxon;MDL:QV-L3820;CMD:PJL;", DIALECT_PLAIN, DRUM_CMD_LONG, false,
     "INSTALLED", "A4", 3982304, 2621440, 2097152},
    {"QV-L3470", "MFG:Zemblaxon;MDL:QV-L3470;CMD:PJL;", DIALECT_PLAIN, DRUM_CMD_SHORT, true,
     "MEMORY", "A4", 2097152, 1572864, 1048576},
    {nullptr, nullptr, DIALECT_PJL, DRUM_CMD_NONE, false, nullptr, nullptr, 0, 0, 0},
};

const PrinterModel* FindPrinterModel(const char* name) {
  for (const PrinterModel* m = PrinterModels; m->name != nullptr; m++) {
    if (strcmp(m->name, name) == 0) return m;
  }
  return nullptr;
}

void PrinterConfigDefaults(PrinterConfig* config, const PrinterModel* model) {
  memset(config, 0, sizeof(*config));
  config->model = model != nullptr ? model : &PrinterModels[0];
  config->pageBufferPages = DEFAULT_PAGE_BUFFER;
  if (config->model->drumCommand != DRUM_CMD_NONE) {
    config->drumLifePages = 20000;
    config->drumWarnPages = 1000;
  }
}
