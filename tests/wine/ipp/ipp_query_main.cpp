// ipp_query.exe URI...: the monitor's IPP client asks each printer once and prints one JSON
// line per query: the result, the HTTP status, the time taken, and what the answer said.
#include <stdio.h>
#include <stdlib.h>

#include "ipp_client.h"
#include "ipp_status.h"

namespace {

uint8_t Answer[IPP_ANSWER_MAX];

void PrintString(const char* text) {
  putchar('"');
  for (const char* p = text; *p; p++) {
    if (*p == '"' || *p == '\\') putchar('\\');
    putchar(*p >= ' ' ? *p : '?');
  }
  putchar('"');
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: ipp_query URI...\n");
    return 2;
  }
  IppClient client;
  if (!IppClientOpen(&client)) {
    printf("{\"result\":\"no-client\"}\n");
    return 1;
  }
  for (int i = 1; i < argc; i++) {
    IppPrinterAttributes a;
    uint32_t http = 0;
    const DWORD start = GetTickCount();
    const IppQueryResult r = IppQueryPrinter(&client, argv[i], Answer, sizeof Answer, &a, &http);
    printf("{\"uri\":");
    PrintString(argv[i]);
    printf(",\"result\":\"%s\",\"http\":%u,\"ms\":%lu", IppQueryResultName(r), http,
           static_cast<unsigned long>(GetTickCount() - start));
    if (r == IPP_QUERY_OK) {
      IppStatus s;
      IppStatusOf(&a, &s);
      printf(",\"state\":%u,\"device_id\":", a.state);
      PrintString(a.deviceId);
      printf(",\"reasons\":[");
      for (uint32_t k = 0; k < a.reasonCount; k++) {
        if (k) putchar(',');
        PrintString(a.reasons[k].keyword);
      }
      printf("],\"spooler_status\":%u,\"codes\":[", s.spoolerStatus);
      for (uint32_t k = 0; k < s.codeCount; k++) printf(k ? ",%u" : "%u", s.codes[k]);
      putchar(']');
    }
    printf("}\n");
    fflush(stdout);
  }
  IppClientClose(&client);
  return 0;
}
