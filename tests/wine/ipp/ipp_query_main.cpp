// ipp_query.exe URI...: the monitor's IPP client asks each printer once and prints one JSON
// line per query: the result, the HTTP status, the time taken, and what the answer said.
// ipp_query.exe --port-address PORT...: what the monitor learns of each port from the stand-in's
// NT port monitor through its Xcv functions, and the printer address it would default to.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ipp_client.h"
#include "ipp_status.h"
#include "ipp_uri.h"
#include "nt_port_monitor.h"
#include "port_address.h"
#include "tcp_port_monitor.h"
#include "wide_text.h"

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

int PortAddresses(int argc, char** argv) {
  for (int i = 2; i < argc; i++) {
    PortAddress where;
    const bool known = AskPortAddress(NtPortMonitorTable(), NtPortMonitorOver(TcpPortMonitor()),
                                      WideText(argv[i], CP_UTF8).c_str(), &where);
    char uri[PRINTER_URI_MAX] = "";
    if (known) DefaultPrinterUri(where.host, uri, sizeof uri);
    printf("{\"port\":");
    PrintString(argv[i]);
    printf(",\"known\":%s,\"host\":", known ? "true" : "false");
    PrintString(where.host);
    printf(",\"number\":%u,\"protocol\":%u,\"uri\":", where.port, where.protocol);
    PrintString(uri);
    printf("}\n");
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: ipp_query URI... | ipp_query --port-address PORT...\n");
    return 2;
  }
  if (strcmp(argv[1], "--port-address") == 0) return PortAddresses(argc, argv);
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
