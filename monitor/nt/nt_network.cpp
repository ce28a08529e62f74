// Network ports on the NT face: where the printer is (the address given for the port, or the
// port monitor's own through GetConfigInfo), and the status thread's IPP polls of it. Nothing
// here runs inside a spooler call except NtNetworkOpen, which only asks the port monitor below
// and the registry callbacks; every query of the printer is made on the port's status thread.
#include "nt_network.h"

#include <string.h>

#include "ipp_client.h"
#include "ipp_uri.h"
#include "network_status.h"
#include "port_address.h"

namespace {

// After a failed query the next waits twice as long, from one poll pause up to a minute: a
// printer that is switched off costs a query a minute.
const DWORD kFirstBackoffMs = 2000;
const DWORD kLastBackoffMs = 60000;

}  // namespace

struct NtNetwork {
  char uri[PORT_URI_MAX];
  bool identified;  // an answer's device ID identified the printer (kept for the port's life)
  bool noClient;    // no WinHTTP on this system: the port is polled no more
  IppStatus last;   // what the last answer said
  DWORD backoffMs;  // 0 while the printer answers
  DWORD nextTick;   // no query before this tick while backing off
  // The status thread's, for one poll at a time.
  IppPrinterAttributes answer;
  uint8_t buffer[IPP_ANSWER_MAX];
};

NtNetwork* NtNetworkOpen(MonitorInstance* instance, const MONITOR2* below, HANDLE belowMonitor,
                         LPCWSTR portName) {
  char uri[PORT_URI_MAX] = "";
  if (!ReadNtPortUri(instance, portName, uri, sizeof uri)) {
    PortAddress where;
    if (!AskPortAddress(below, belowMonitor, portName, &where) ||
        !DefaultPrinterUri(where.host, uri, sizeof uri)) {
      return NULL;  // not a network port, or one whose printer cannot be named
    }
  }
  PrinterUri check;
  if (!ParsePrinterUri(uri, &check)) return NULL;
  NtNetwork* n = static_cast<NtNetwork*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof *n));
  if (n) memcpy(n->uri, uri, sizeof uri);
  return n;
}

void NtNetworkFree(NtNetwork* network) {
  if (network) LocalFree(network);
}

const char* NtNetworkUri(const NtNetwork* network) {
  return network ? network->uri : NULL;
}

bool NtNetworkIdentified(const NtNetwork* network) {
  return network && network->identified;
}

bool NtNetworkPoll(NtNetwork* n, PortRecord* record, bool first) {
  if (!n || n->noClient) return false;
  if (first) memset(&n->last, 0, sizeof n->last);  // a new thread tells what it finds
  if (n->backoffMs != 0 && static_cast<LONG>(GetTickCount() - n->nextTick) < 0) return true;
  // WinHTTP is loaded for the poll and let go after it: a port that is not polled holds
  // nothing of it.
  IppClient client;
  if (!IppClientOpen(&client)) {
    n->noClient = true;  // found at run time: without it the port stays as it was
    return false;
  }
  const IppQueryResult result =
      IppQueryPrinter(&client, n->uri, n->buffer, sizeof n->buffer, &n->answer, NULL);
  IppClientClose(&client);
  if (result != IPP_QUERY_OK) {
    n->backoffMs = n->backoffMs == 0                    ? kFirstBackoffMs
                   : n->backoffMs >= kLastBackoffMs / 2 ? kLastBackoffMs
                                                        : n->backoffMs * 2;
    n->nextTick = GetTickCount() + n->backoffMs;
    return true;
  }
  n->backoffMs = 0;
  if (ApplyIppAnswer(record, &n->answer, !n->identified, &n->last)) n->identified = true;
  return true;
}
