#include "job_data.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

const char UEL[] = "\x1b%-12345X";

// \e \r \n \f \t \\ and \xNN in text become the bytes they name.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out.push_back(text[i]);
      continue;
    }
    char c = text[++i];
    switch (c) {
      case 'e':
        out.push_back('\x1b');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'f':
        out.push_back('\f');
        break;
      case 't':
        out.push_back('\t');
        break;
      case '0':
        out.push_back('\0');
        break;
      case 'x':
        if (i + 2 < text.size()) {
          std::string hex = text.substr(i + 1, 2);
          out.push_back(static_cast<char>(strtoul(hex.c_str(), NULL, 16)));
          i += 2;
        }
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

// A PJL job as a driver writes one: named after the spooler's job id, so the printer's end
// report names it too.
void PjlJob(uint32_t jobId, uint32_t pages, uint32_t pageBytes, std::string* out) {
  char line[128];
  snprintf(line, sizeof line, "@PJL JOB NAME=\"MSJOB %lu\"\r\n", static_cast<unsigned long>(jobId));
  out->append(UEL);
  out->append(line);
  out->append("@PJL ENTER LANGUAGE=PCL\r\n");
  for (uint32_t page = 1; page <= pages; page++) {
    size_t start = out->size();
    while (out->size() - start + 2 < pageBytes) {
      snprintf(line, sizeof line, "QVL test page %lu of job %lu. ",
               static_cast<unsigned long>(page), static_cast<unsigned long>(jobId));
      out->append(line);
    }
    out->append("\r\f");
  }
  snprintf(line, sizeof line, "@PJL EOJ NAME=\"MSJOB %lu\"\r\n", static_cast<unsigned long>(jobId));
  out->append(UEL);
  out->append(line);
  out->append(UEL);
}

}  // namespace

void FillGenerated(uint8_t* out, size_t count, uint32_t seed) {
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < count; i++) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    uint8_t b = static_cast<uint8_t>(x >> 24);
    out[i] = b == 0x1b ? 0x1a : b;
  }
}

bool BuildJobData(const Step& step, uint32_t jobId, std::string* out, std::string* error) {
  out->clear();
  if (step.pages) {
    PjlJob(jobId, step.pages, step.pageBytes, out);
  } else if (step.size) {
    out->resize(step.size);
    FillGenerated(reinterpret_cast<uint8_t*>(&(*out)[0]), out->size(), jobId);
  } else if (!step.file.empty()) {
    FILE* f = fopen(step.file.c_str(), "rb");
    if (!f) {
      *error = "cannot read " + step.file;
      return false;
    }
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out->append(buffer, n);
    fclose(f);
  } else {
    *out = Unescape(step.text);
  }
  return true;
}
