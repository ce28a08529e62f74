// qvlprinter: the emulated printer behind a raw TCP port on the loopback interface, like port
// 9100 of a network printer. One connection at a time; each connection is one port job.
//
//   qvlprinter [--model NAME] [--device-id ID] [--scenario FILE] [--page-ms N] [--once] [--log]
//              [--ipp IPP-PORT] PORT
//
// PORT 0 picks a free port. The chosen port is printed as "listening on 127.0.0.1:N". With
// --ipp the same printer also answers IPP (HTTP POST, Get-Printer-Attributes) on IPP-PORT (0: a
// free one), printed as "ipp on 127.0.0.1:N"; its answers tell the same conditions.
// SIGINT/SIGTERM end the program; SIGUSR1 puts right every condition that waits for the user.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "emulated_printer.h"

namespace {

volatile sig_atomic_t StopRequested = 0;
volatile sig_atomic_t RemedyRequested = 0;

void OnStop(int) {
  StopRequested = 1;
}
void OnRemedy(int) {
  RemedyRequested = 1;
}

void OnPrinterEvent(void*, const PrinterEvent* event) {
  char line[160];
  FormatPrinterEvent(event, line, sizeof(line));
  printf("%s\n", line);
  fflush(stdout);
}

struct Options {
  const char* model = "generic";
  const char* deviceId = nullptr;
  const char* scenario = nullptr;
  unsigned long pageMs = 0;
  bool once = false;
  bool log = false;
  bool lenientJobReports = false;
  bool nestedJobReports = false;
  long port = -1;
  long ippPort = -1;
};

int Usage() {
  fprintf(stderr,
          "usage: qvlprinter [--model generic|QV-L3820|QV-L3470] [--device-id ID]\n"
          "                  [--scenario FILE] [--page-ms N] [--once] [--log] [--ipp PORT]\n"
          "                  [--lenient-job-reports] [--nested-job-reports] PORT\n");
  return 2;
}

bool ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    bool hasValue = i + 1 < argc;
    if (strcmp(a, "--model") == 0 && hasValue) {
      o->model = argv[++i];
    } else if (strcmp(a, "--device-id") == 0 && hasValue) {
      o->deviceId = argv[++i];
    } else if (strcmp(a, "--scenario") == 0 && hasValue) {
      o->scenario = argv[++i];
    } else if (strcmp(a, "--page-ms") == 0 && hasValue) {
      char* end;
      o->pageMs = strtoul(argv[++i], &end, 10);
      if (*end != '\0' || o->pageMs > 600000) return false;
    } else if (strcmp(a, "--ipp") == 0 && hasValue) {
      char* end;
      o->ippPort = strtol(argv[++i], &end, 10);
      if (*end != '\0' || o->ippPort < 0 || o->ippPort > 65535) return false;
    } else if (strcmp(a, "--once") == 0) {
      o->once = true;
    } else if (strcmp(a, "--log") == 0) {
      o->log = true;
    } else if (strcmp(a, "--lenient-job-reports") == 0) {
      o->lenientJobReports = true;
    } else if (strcmp(a, "--nested-job-reports") == 0) {
      o->nestedJobReports = true;
    } else if (a[0] != '-' && o->port < 0) {
      char* end;
      o->port = strtol(a, &end, 10);
      if (*end != '\0' || o->port < 0 || o->port > 65535) return false;
    } else {
      return false;
    }
  }
  return o->port >= 0;
}

int Listen(long port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in address;
  memset(&address, 0, sizeof(address));
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never any other interface
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 1) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// One IPP exchange on a new connection: an HTTP POST whose body is the request, answered with
// the printer's IPP answer and closed. A client that sends too much, or too slowly, is dropped.
void AnswerIpp(EmulatedPrinter* printer, int listener) {
  int fd = accept(listener, nullptr, nullptr);
  if (fd < 0) return;
  static char in[16384];
  size_t length = 0;
  size_t bodyAt = 0, bodyLength = 0;
  for (int waits = 0; waits < 100 && !StopRequested;) {  // 2 s at most
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) {
      waits++;
      continue;
    }
    ssize_t got = recv(fd, in + length, sizeof(in) - 1 - length, MSG_DONTWAIT);
    if (got <= 0) break;
    length += static_cast<size_t>(got);
    in[length] = '\0';
    const char* end = strstr(in, "\r\n\r\n");
    if (end == nullptr) continue;
    bodyAt = static_cast<size_t>(end - in) + 4;
    const char* field = strcasestr(in, "\r\nContent-Length:");
    bodyLength = field && field < end ? strtoul(field + 17, nullptr, 10) : 0;
    if (bodyAt + bodyLength > sizeof(in) - 1 || length >= bodyAt + bodyLength) break;
  }
  static uint8_t answer[8192];
  size_t n = 0;
  if (bodyAt != 0 && length >= bodyAt + bodyLength) {
    n = EmulatedPrinterIppAnswer(printer, reinterpret_cast<const uint8_t*>(in) + bodyAt, bodyLength,
                                 answer, sizeof(answer));
  }
  char head[160];
  int headLength = snprintf(head, sizeof(head),
                            n ? "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\n"
                                "Content-Length: %zu\r\nConnection: close\r\n\r\n"
                              : "HTTP/1.1 400 Bad Request\r\nContent-Length: %zu\r\n"
                                "Connection: close\r\n\r\n",
                            n);
  send(fd, head, static_cast<size_t>(headLength), MSG_NOSIGNAL);
  if (n) send(fd, answer, n, MSG_NOSIGNAL);
  shutdown(fd, SHUT_WR);
  close(fd);
}

// Serves one connection until the host has closed it and the printer has nothing more to say,
// or a stop is requested. IPP requests are answered meanwhile.
void Serve(EmulatedPrinter* printer, int fd, uint32_t jobId, int ippListener) {
  EmulatedPrinterConnect(printer);
  EmulatedPrinterJobStart(printer, jobId);
  uint8_t in[4096];
  size_t inStart = 0, inLength = 0;  // bytes received but not yet taken by the printer
  uint8_t out[4096];
  size_t outStart = 0, outLength = 0;  // reply bytes not yet sent
  bool hostDone = false;               // the host shut its sending side
  int quietPolls = 0;                  // after hostDone: polls with nothing to do
  while (!StopRequested) {
    if (RemedyRequested) {
      RemedyRequested = 0;
      EmulatedPrinterRemedy(printer, COND_COUNT);
    }
    if (inLength != 0) {
      size_t taken = EmulatedPrinterWrite(printer, in + inStart, inLength);
      inStart += taken;
      inLength -= taken;
    } else {
      EmulatedPrinterPoll(printer);
    }
    if (outLength == 0) {
      outStart = 0;
      outLength = EmulatedPrinterRead(printer, out, sizeof(out));
    }
    pollfd fds[2] = {{fd, 0, 0}, {ippListener, POLLIN, 0}};
    pollfd& p = fds[0];
    if (!hostDone && inLength == 0) p.events |= POLLIN;
    if (outLength != 0) p.events |= POLLOUT;
    int ready = poll(fds, ippListener >= 0 ? 2 : 1, 20);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0 && (fds[1].revents & POLLIN)) {
      AnswerIpp(printer, ippListener);
      if (--ready == 0) continue;
    }
    if (ready <= 0) {
      PrinterCounters c;
      EmulatedPrinterCounters(printer, &c);
      bool idle = inLength == 0 && outLength == 0 && c.pagesPrinted == c.pagesReceived;
      if (hostDone && idle && ++quietPolls >= 25) break;  // half a second with nothing to say
      continue;
    }
    quietPolls = 0;
    if (p.revents & (POLLERR | POLLNVAL)) break;
    if (p.revents & POLLOUT) {
      ssize_t sent = send(fd, out + outStart, outLength, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent < 0 && errno != EAGAIN && errno != EINTR) break;
      if (sent > 0) {
        outStart += static_cast<size_t>(sent);
        outLength -= static_cast<size_t>(sent);
      }
    }
    if (p.revents & (POLLIN | POLLHUP)) {
      ssize_t got = recv(fd, in, sizeof(in), MSG_DONTWAIT);
      if (got > 0) {
        inStart = 0;
        inLength = static_cast<size_t>(got);
      } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        if (!hostDone) EmulatedPrinterJobEnd(printer);
        hostDone = true;
        if (got < 0 || (p.revents & POLLHUP)) break;
      }
    }
  }
  if (!hostDone) EmulatedPrinterJobEnd(printer);
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseArgs(argc, argv, &options)) return Usage();
  const PrinterModel* model = FindPrinterModel(options.model);
  if (model == nullptr) {
    fprintf(stderr, "qvlprinter: unknown model '%s'\n", options.model);
    return 2;
  }
  static Scenario scenario;
  if (options.scenario != nullptr) {
    char error[SCENARIO_ERROR_ROOM + 256];
    if (!LoadScenarioFile(options.scenario, &scenario, error, sizeof(error))) {
      fprintf(stderr, "qvlprinter: %s\n", error);
      return 2;
    }
  }
  PrinterConfig config;
  PrinterConfigDefaults(&config, model);
  config.deviceId = options.deviceId;
  config.scenario = &scenario;
  config.pageMs = static_cast<uint32_t>(options.pageMs);
  config.lenientJobReports = options.lenientJobReports;
  config.reportNestedJobs = options.nestedJobReports;
  if (options.log) config.onEvent = OnPrinterEvent;

  struct sigaction action;
  memset(&action, 0, sizeof(action));
  action.sa_handler = OnStop;  // no SA_RESTART: poll and accept return EINTR
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  action.sa_handler = OnRemedy;
  sigaction(SIGUSR1, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  int listener = Listen(options.port);
  if (listener < 0) {
    fprintf(stderr, "qvlprinter: cannot listen on 127.0.0.1:%ld: %s\n", options.port,
            strerror(errno));
    return 1;
  }
  sockaddr_in bound;
  socklen_t boundLength = sizeof(bound);
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &boundLength);
  EmulatedPrinter* printer = EmulatedPrinterCreate(&config);
  if (printer == nullptr) {
    close(listener);
    return 1;
  }
  int ippListener = -1;
  if (options.ippPort >= 0) {
    ippListener = Listen(options.ippPort);
    if (ippListener < 0) {
      fprintf(stderr, "qvlprinter: cannot listen on 127.0.0.1:%ld: %s\n", options.ippPort,
              strerror(errno));
      close(listener);
      EmulatedPrinterDestroy(printer);
      return 1;
    }
    sockaddr_in ipp;
    socklen_t ippLength = sizeof(ipp);
    getsockname(ippListener, reinterpret_cast<sockaddr*>(&ipp), &ippLength);
    printf("qvlprinter: %s ipp on 127.0.0.1:%u\n", model->name, ntohs(ipp.sin_port));
  }
  printf("qvlprinter: %s listening on 127.0.0.1:%u\n", model->name, ntohs(bound.sin_port));
  fflush(stdout);

  uint32_t connections = 0;
  while (!StopRequested) {
    if (RemedyRequested) {
      RemedyRequested = 0;
      EmulatedPrinterRemedy(printer, COND_COUNT);
    }
    pollfd fds[2] = {{listener, POLLIN, 0}, {ippListener, POLLIN, 0}};
    int ready = poll(fds, ippListener >= 0 ? 2 : 1, 100);
    EmulatedPrinterPoll(printer);  // time goes on between connections too
    if (ready <= 0) continue;
    if (fds[1].revents & POLLIN) AnswerIpp(printer, ippListener);
    if (!(fds[0].revents & POLLIN)) continue;
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    Serve(printer, fd, ++connections, ippListener);
    if (options.once) break;
  }
  close(listener);
  if (ippListener >= 0) close(ippListener);
  PrinterCounters c;
  EmulatedPrinterCounters(printer, &c);
  printf("qvlprinter: %lu connection(s), %lu page(s), %lu drum reset(s)\n",
         static_cast<unsigned long>(connections), static_cast<unsigned long>(c.pagesPrinted),
         static_cast<unsigned long>(c.drumResets));
  EmulatedPrinterDestroy(printer);
  return 0;
}
