#include "monitor_fixture.h"

void MonitorTest::SetUp() {
  // Sleep and timed waits run at 1/1000 of their time: the 2000 ms poll takes 2 ms.
  FakeSetTimeScale(1, 1000);
  FakeSpoolerReset(true);
  FakeRegistryReset();
  FakeDebugOutputReset();
  ScriptedPortsReset();
  ASSERT_TRUE(InitializeMonitorEx(nullptr, &table));
}

void MonitorTest::TearDown() {
  // A test that failed half-way leaves its ports open: close them so the next test starts clean.
  for (;;) {
    EnterMonitorLock();
    PortRecord* left = PortListHead();
    LeaveMonitorLock();
    if (!left) break;
    table.pfnClosePort(left);
  }
  // Every test closes its ports; none may leave a status thread behind.
  EXPECT_TRUE(WaitFor([] { return FakeRunningThreads() == 0; }));
  FakeSetTimeScale(1, 1);
  ScriptedPortsReset();
}

HANDLE MonitorTest::Open(const char* port, const char* deviceId, const char* printer) {
  ScriptedPortSetDeviceId(port, deviceId);
  HANDLE handle = nullptr;
  EXPECT_TRUE(table.pfnOpenPortEx(const_cast<LPSTR>(port), const_cast<LPSTR>(printer), &handle,
                                  ScriptedPortMonitor()));
  return handle;
}

BOOL MonitorTest::StartJob(HANDLE port, DWORD jobId, DWORD level, DWORD mode, const char* printer) {
  DOC_INFO_2A info{};
  info.pDocName = const_cast<LPSTR>("test document");
  info.dwMode = mode;
  return table.pfnStartDocPort(port, const_cast<LPSTR>(printer), jobId, level,
                               reinterpret_cast<LPBYTE>(&info));
}

DWORD MonitorTest::Write(HANDLE port, const std::string& data) {
  DWORD written = 0xFFFF;
  table.pfnWritePort(port, reinterpret_cast<LPBYTE>(const_cast<char*>(data.data())),
                     static_cast<DWORD>(data.size()), &written);
  return written;
}

::testing::AssertionResult MonitorTest::StartJobWriting(HANDLE port, DWORD jobId,
                                                        const std::string& data,
                                                        const char* printer) {
  if (!StartJob(port, jobId, 1, 1, printer)) {
    return ::testing::AssertionFailure()
           << "StartDocPort of job " << jobId << " failed (error " << GetLastError() << ")";
  }
  Write(port, data);
  return ::testing::AssertionSuccess();
}

void MonitorTest::Reply(HANDLE port, const std::string& reply) {
  ScriptedPortQueueReply(Rec(port)->portName, reply.c_str());
  Write(port, "");
}

::testing::AssertionResult MonitorTest::EndJobAtPrinter(HANDLE port, DWORD jobId, int endDocs) {
  const char* name = Rec(port)->portName;
  ScriptedPortQueueReply(name, PjlJobEnd(jobId).c_str());
  if (WaitFor([&] { return ScriptedPortGetState(name).endDocs == endDocs; })) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "the port monitor below ended " << ScriptedPortGetState(name).endDocs
         << " jobs, expected " << endDocs;
}

BOOL MonitorTest::EndJobAndClose(HANDLE port) {
  table.pfnEndDocPort(port);
  return table.pfnClosePort(port);
}
