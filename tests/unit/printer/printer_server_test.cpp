// qvlprinter over loopback: start it on a free port, send a job as the monitor would, read
// the reports back, and stop it with SIGTERM.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "ipp_message.h"
#include "ipp_status.h"
#include "printer_test_util.h"

namespace {

struct Server {
  pid_t pid = -1;
  FILE* output = nullptr;
  int port = 0;
  int ippPort = 0;  // with --ipp
};

// Starts qvlprinter with the arguments and reads the port it chose.
bool StartServer(const std::vector<std::string>& args, Server* server) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return false;
  server->pid = fork();
  if (server->pid == 0) {
    dup2(pipeFds[1], 1);
    close(pipeFds[0]);
    close(pipeFds[1]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(QVLPRINTER_PATH));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QVLPRINTER_PATH, argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  server->output = fdopen(pipeFds[0], "r");
  char line[256];
  while (fgets(line, sizeof(line), server->output) != nullptr) {
    const char* ipp = strstr(line, "ipp on 127.0.0.1:");
    if (ipp != nullptr) server->ippPort = atoi(ipp + strlen("ipp on 127.0.0.1:"));
    const char* at = strstr(line, "listening on 127.0.0.1:");
    if (at != nullptr) {
      server->port = atoi(at + strlen("listening on 127.0.0.1:"));
      return server->port > 0;
    }
  }
  return false;
}

int StopServer(Server* server) {
  kill(server->pid, SIGTERM);
  int status = 0;
  waitpid(server->pid, &status, 0);
  fclose(server->output);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Reads until text holds needle, the peer closes, or 5 s pass.
std::string ReadUntil(int fd, const std::string& needle) {
  std::string text;
  for (int waited = 0; waited < 5000 && text.find(needle) == std::string::npos; waited += 50) {
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buffer[512];
    ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  return text;
}

TEST(PrinterServer, JobOverLoopbackGetsItsReports) {
  Server server;
  ASSERT_TRUE(StartServer({"--log", "--lenient-job-reports", "0"}, &server));
  int fd = Connect(server.port);
  ASSERT_GE(fd, 0);
  std::string job = kMonitorPrefix + DriverJob(21, 2) + "@PJL INFO STATUS\r\n";
  ASSERT_EQ(static_cast<ssize_t>(job.size()), send(fd, job.data(), job.size(), 0));
  std::string replies = ReadUntil(fd, "ONLINE=TRUE\r\n\f");
  EXPECT_TRUE(
      SameBytes("@PJL USTATUS JOB\r\nSTART\r\nNAME=\"MSJOB 21\"\r\n\f"
                "@PJL USTATUS JOB\r\nEND\r\nNAME=\"MSJOB 21\"\r\nPAGES=2\r\n\f"
                "@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=\"00 READY\"\r\nONLINE=TRUE\r\n\f",
                replies));
  close(fd);
  EXPECT_EQ(0, StopServer(&server));
}

TEST(PrinterServer, OnceEndsAfterOneConnectionAndScenarioRuns) {
  Server server;
  ASSERT_TRUE(StartServer({"--model", "QV-L3820", "--scenario",
                           QVL_PRINTER_SCENARIOS "/qvl3820-paper-out.txt", "--once", "0"},
                          &server));
  int fd = Connect(server.port);
  ASSERT_GE(fd, 0);
  std::string job = kMonitorPrefix + DriverJob(5, 5);
  send(fd, job.data(), job.size(), 0);
  std::string replies = ReadUntil(fd, "CODE=10001");
  EXPECT_NE(std::string::npos, replies.find("CODE=41")) << Escaped(replies);
  EXPECT_NE(std::string::npos, replies.find("CODE=10001")) << Escaped(replies);
  shutdown(fd, SHUT_WR);
  ReadUntil(fd, "never");  // the server closes once the printer has nothing more to say
  close(fd);
  int status = 0;
  waitpid(server.pid, &status, 0);
  fclose(server.output);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// An IPP Get-Printer-Attributes over HTTP, as a network printer's client sends it; the answer's
// body read by the monitor's IPP reader.
IppReadResult AskOverIpp(int port, IppPrinterAttributes* a) {
  uint8_t request[IPP_REQUEST_MAX];
  const size_t n = IppBuildGetPrinterAttributes(request, sizeof request, "ipp://127.0.0.1/", 3);
  const std::string head =
      "POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\n"
      "Content-Type: application/ipp\r\nContent-Length: " +
      std::to_string(n) + "\r\n\r\n";
  int fd = Connect(port);
  if (fd < 0) return IPP_READ_BAD;
  send(fd, head.data(), head.size(), 0);
  send(fd, request, n, 0);
  const std::string answer = ReadUntil(fd, "never");  // the printer closes after its answer
  close(fd);
  const size_t body = answer.find("\r\n\r\n");
  if (answer.compare(0, 15, "HTTP/1.1 200 OK") != 0 || body == std::string::npos) {
    return IPP_READ_BAD;
  }
  return IppReadPrinterAttributes(reinterpret_cast<const uint8_t*>(answer.data()) + body + 4,
                                  answer.size() - body - 4, a);
}

TEST(PrinterServer, IppAnswersWhileAJobRuns) {
  Server server;
  ASSERT_TRUE(StartServer(
      {"--model", "QV-L3820", "--scenario", QVL_PRINTER_SCENARIOS "/qvl3820-paper-out.txt",
       "--page-ms", "50", "--ipp", "0", "0"},
      &server));
  ASSERT_GT(server.ippPort, 0);
  IppPrinterAttributes a;
  ASSERT_EQ(IPP_READ_OK, AskOverIpp(server.ippPort, &a));
  EXPECT_EQ(IPP_STATE_IDLE, a.state);
  int fd = Connect(server.port);
  ASSERT_GE(fd, 0);
  std::string job = kMonitorPrefix + DriverJob(5, 5);
  send(fd, job.data(), job.size(), 0);
  std::string replies = ReadUntil(fd, "CODE=41");
  ASSERT_NE(std::string::npos, replies.find("CODE=41104")) << Escaped(replies);
  ASSERT_EQ(IPP_READ_OK, AskOverIpp(server.ippPort, &a));  // while the raw job is held
  IppStatus s;
  IppStatusOf(&a, &s);
  EXPECT_EQ(IPP_STATE_STOPPED, a.state);
  EXPECT_EQ(std::vector<uint32_t>{41104}, std::vector<uint32_t>(s.codes, s.codes + s.codeCount));
  close(fd);
  EXPECT_EQ(0, StopServer(&server));
}

TEST(PrinterServer, BadArgumentsAndScenarioAreRefused) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--model", "nope", "0"}, std::vector<std::string>{},
        std::vector<std::string>{"--scenario", "/nonexistent", "0"}}) {
    pid_t pid = fork();
    if (pid == 0) {
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(QVLPRINTER_PATH));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      freopen("/dev/null", "w", stderr);
      execv(QVLPRINTER_PATH, argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
  }
}

}  // namespace
