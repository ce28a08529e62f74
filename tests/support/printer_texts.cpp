#include "printer_texts.h"

#include <stdio.h>

const char kMakerDeviceId[] = "MFG:Zemblaxon;MDL:QV-L3820;CMD:PJL;";
const char kGenericDeviceId[] = "MFG:Acme;MDL:LaserPro 4;CMD:PJL,PCL;";
const std::string kPrefix = std::string("\x1b%-12345X@PJL\r\n") + "@PJL USTATUS DEVICE=ON\r\n";

std::string PjlDeviceStatus(unsigned code) {
  char text[128];
  snprintf(text, sizeof text, "@PJL USTATUS DEVICE\r\nCODE=%u\r\nDISPLAY=STATUS\r\n\f", code);
  return text;
}

std::string PjlJobEnd(unsigned jobId) {
  return PjlJobEnd("MSJOB " + std::to_string(jobId));
}

std::string PjlJobEnd(const std::string& name) {
  return "@PJL USTATUS JOB\r\nEND\r\nNAME=\"" + name + "\"\r\nPAGES=1\r\n\f";
}

std::string PjlMemory(unsigned total) {
  char text[128];
  snprintf(text, sizeof text, "@PJL INFO MEMORY\r\nTOTAL=%u\r\nLARGEST=%u\r\n\f", total, total / 2);
  return text;
}

std::string PlainCode(unsigned code) {
  char text[64];
  snprintf(text, sizeof text, "STATUS CODE=%u\r\n\f", code);
  return text;
}
