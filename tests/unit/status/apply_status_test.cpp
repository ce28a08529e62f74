// ApplyStatusTokens: what one reply does to the spooler status, the printer data and the job.
#include "apply_status.h"

#include "status_support.h"

namespace {

// Not in the status code table and in no range: shows whether a code replaced the status or
// added to it.
const DWORD S = PRINTER_STATUS_BUSY;
const DWORD UI = PRINTER_STATUS_USER_INTERVENTION;

struct CodeCase {
  DWORD code;
  DWORD expected;  // status after the code, from S
};

using ApplyStatusTest = StatusTest;

TEST_F(ApplyStatusTest, NonFamilyCodeFromStatus) {
  const CodeCase cases[] = {
      {10001, 0},
      {10002, 0},
      {11002, 0},
      {10003, PRINTER_STATUS_WARMING_UP},
      {10006, PRINTER_STATUS_TONER_LOW},
      {11099, S},
      {11100, S},
      {11101, S},
      {11102, PRINTER_STATUS_PAPER_OUT},
      {11999, PRINTER_STATUS_PAPER_OUT},
      {12000, S},
      {30000, S},
      {30016, PRINTER_STATUS_OUT_OF_MEMORY},
      {30036, S},
      {30078, PRINTER_STATUS_POWER_SAVE},
      {40000, S},
      {40001, S | UI},
      {40019, PRINTER_STATUS_OUTPUT_BIN_FULL | UI},
      {40021, PRINTER_STATUS_DOOR_OPEN | UI},
      {40022, PRINTER_STATUS_PAPER_JAM | UI},
      {40023, S | UI},
      {40024, S | UI},
      {40034, PRINTER_STATUS_PAPER_PROBLEM | UI},
      {40038, PRINTER_STATUS_TONER_LOW | UI},
      {40079, PRINTER_STATUS_OFFLINE | UI},
      {40556, S | UI},
      {41000, S | UI},
      {41101, S | UI},
      {41102, PRINTER_STATUS_PAPER_OUT | UI},
      {41999, PRINTER_STATUS_PAPER_OUT | UI},
      {42000, S | UI},
      {49999, S | UI},
      {50000, S | UI},
  };
  PortRecord* port = Port("Office", 0);
  for (const CodeCase& c : cases) {
    // Both code tokens take the same road.
    for (uint32_t id : {TOK_DEVICE_CODE, TOK_INFO_CODE}) {
      FakeSpoolerReset(true);
      port->printerStatus = S;
      const StatusToken token = {id, c.code};
      ApplyStatusTokens(port, &token, 1);
      EXPECT_EQ(c.expected, port->printerStatus) << "code " << c.code << " token " << id;
      if (c.expected == S) {
        EXPECT_EQ(0, SetPrinterCalls()) << "code " << c.code;
      } else {
        ASSERT_EQ(1, FakeSpoolerCallCount()) << "code " << c.code;
        const FakeSpoolerCall call = FakeSpoolerCallAt(0);
        EXPECT_EQ(SPOOL_SET_PRINTER, call.kind);
        EXPECT_EQ(port->hPrinter, call.printer);
        EXPECT_EQ(0u, call.level);
        EXPECT_EQ(c.expected, call.value) << "code " << c.code;
        EXPECT_EQ(PRINTER_CONTROL_SET_STATUS, call.command);
      }
    }
  }
  EXPECT_EQ(0, FakeDisplayFindWindowCount()) << "no display for a printer of another maker";
}

TEST_F(ApplyStatusTest, OneSpoolerCallPerBatchAndOnlyOnChange) {
  PortRecord* port = Port("Office", 0);

  ApplyStatusTokens(port, NULL, 0);
  EXPECT_EQ(0, SetPrinterCalls());

  // Changed in between, back where it started at the end: the spooler hears nothing.
  const StatusToken roundTrip[] = {Code(40022), Code(10001)};
  ApplyStatusTokens(port, roundTrip, 2);
  EXPECT_EQ(0u, port->printerStatus);
  EXPECT_EQ(0, SetPrinterCalls());

  // Three changes, one call with the last status.
  const StatusToken three[] = {Code(40022), Code(10003), Code(41500)};
  ApplyStatusTokens(port, three, 3);
  EXPECT_EQ(1, SetPrinterCalls());
  EXPECT_EQ(PRINTER_STATUS_PAPER_OUT | UI, FakeSpoolerLastStatus());

  // The same again: unchanged, no call.
  ApplyStatusTokens(port, three, 3);
  EXPECT_EQ(1, SetPrinterCalls());
}

TEST_F(ApplyStatusTest, OnlineReports) {
  struct Case {
    uint32_t id;
    DWORD first, second;  // online values of two reports in one batch
    DWORD expected;       // status after both, from S
  } cases[] = {
      {TOK_DEVICE_ONLINE, 0, 1, 0},
      {TOK_INFO_ONLINE, 0, 1, 0},
      {TOK_DEVICE_ONLINE, 1, 0, PRINTER_STATUS_OFFLINE},
      {TOK_INFO_ONLINE, 0, 0, S | PRINTER_STATUS_OFFLINE},
      {TOK_DEVICE_ONLINE, 7, 7, 0},
  };
  PortRecord* port = Port("Office", 0);
  for (const Case& c : cases) {
    port->printerStatus = S;
    const StatusToken batch[] = {{c.id, c.first}, {c.id, c.second}};
    ApplyStatusTokens(port, batch, 2);
    EXPECT_EQ(c.expected, port->printerStatus) << c.id << " " << c.first << "," << c.second;
  }
}

TEST_F(ApplyStatusTest, FamilyPrintersSendCodesToTheDisplay) {
  for (DWORD family : {PF_FAMILY_MODEL, PF_FAMILY_MAKER}) {
    FakeSpoolerReset(true);
    ResetDisplay();
    ShowWindow();
    PortRecord* port = Port("Family", family);
    port->printerStatus = S;
    // 11101 is paper out only on the display path; the status table would leave S.
    const StatusToken batch[] = {Code(40022), Code(11101)};
    ApplyStatusTokens(port, batch, 2);
    EXPECT_EQ((std::vector<DWORD>{40022, 11101}), PostedCodes()) << family;
    EXPECT_EQ(PRINTER_STATUS_PAPER_OUT, port->printerStatus) << family;
    EXPECT_EQ(1, SetPrinterCalls());
    EXPECT_EQ(PRINTER_STATUS_PAPER_OUT, FakeSpoolerLastStatus());
  }
}

TEST_F(ApplyStatusTest, LookAheadOnQvl3820) {
  struct Case {
    const char* what;
    DWORD flags;
    std::vector<StatusToken> batch;
    std::vector<DWORD> posted;
  };
  const DWORD qvl3820 = PF_MODEL_3820 | PF_FAMILY_MODEL;
  const StatusToken memory = {TOK_MEM_TOTAL, 1000};
  const Case cases[] = {
      {"followed code skipped", qvl3820, {Code(40022), Code(10001)}, {10001}},
      {"exempt code kept", qvl3820, {Code(40556), Code(10001)}, {40556, 10001}},
      {"last code kept", qvl3820, {Code(40022)}, {40022}},
      {"range edges and exemptions",
       qvl3820,
       {Code(30000), Code(30001), Code(30036), Code(40000), Code(49999), Code(50000), Code(10001)},
       {30000, 30036, 40000, 50000, 10001}},
      {"drum codes kept", qvl3820, {Code(40558), Code(40559), Code(40022)}, {40558, 40559, 40022}},
      {"info code counts as a next code", qvl3820, {Code(41000), {TOK_INFO_CODE, 10001}}, {10001}},
      {"next token not a code", qvl3820, {Code(41000), memory}, {41000}},
      {"other family model", PF_FAMILY_MODEL, {Code(40022), Code(10001)}, {40022, 10001}},
  };
  for (const Case& c : cases) {
    ResetDisplay();
    ShowWindow();
    PortRecord* port = Port("Family", c.flags);
    ApplyStatusTokens(port, c.batch.data(), static_cast<uint32_t>(c.batch.size()));
    EXPECT_EQ(c.posted, PostedCodes()) << c.what;
  }
}

TEST_F(ApplyStatusTest, MemorySizesBecomePrinterData) {
  struct Case {
    DWORD flags;
    uint32_t id;
    DWORD reported;
    const char* name;
    DWORD stored;
  } cases[] = {
      {PF_MODEL_3820 | PF_FAMILY_MODEL, TOK_MEM_INSTALLED, 4194304, "Installed Memory", 4406304},
      {PF_MODEL_3820 | PF_FAMILY_MODEL, TOK_CONFIG_MEMORY, 4194304, "Installed Memory", 4406304},
      {PF_MODEL_3820 | PF_FAMILY_MODEL, TOK_CONFIG_MEMORY_SPACED, 1, "Installed Memory", 212001},
      {PF_MODEL_3820 | PF_FAMILY_MODEL, TOK_MEM_TOTAL, 4194304, "Available Memory", 4194304},
      {PF_MODEL_3470 | PF_FAMILY_MODEL, TOK_MEM_INSTALLED, 4194304, "Installed Memory", 4194304},
      {PF_FAMILY_MODEL | PF_FAMILY_MAKER, TOK_CONFIG_MEMORY, 8388608, "Installed Memory", 8388608},
      {0, TOK_MEM_TOTAL, 123, "Available Memory", 123},
  };
  for (const Case& c : cases) {
    FakeSpoolerReset(true);
    PortRecord* port = Port("Office", c.flags);
    const int opened = FakeSpoolerCallCount();
    const StatusToken token = {c.id, c.reported};
    ApplyStatusTokens(port, &token, 1);
    const bool installed = c.name[0] == 'I';
    EXPECT_EQ(c.stored, installed ? port->installedMemory : port->availableMemory) << c.id;
    EXPECT_EQ(0u, installed ? port->availableMemory : port->installedMemory) << c.id;
    ASSERT_EQ(opened + 1, FakeSpoolerCallCount()) << "printer data only, no status";
    const FakeSpoolerCall call = FakeSpoolerCallAt(opened);
    EXPECT_EQ(SPOOL_SET_PRINTER_DATA, call.kind);
    EXPECT_EQ(port->hPrinter, call.printer);
    EXPECT_STREQ(c.name, call.name);
    EXPECT_EQ(REG_DWORD, call.level);
    EXPECT_EQ(c.stored, call.value);
    EXPECT_EQ(4u, call.command) << "size";
  }
}

TEST_F(ApplyStatusTest, JobEndOfTheCurrentJobStopsTheThread) {
  PortRecord* port = Port("Office", PF_THREAD_RUN | PF_IN_JOB);
  port->jobId = 17;
  port->hWakeEvent = CreateEventA(NULL, FALSE, FALSE, NULL);

  const StatusToken otherJob = {TOK_JOB_ID, 16};
  ApplyStatusTokens(port, &otherJob, 1);
  EXPECT_TRUE(HasPortFlags(port, PF_THREAD_RUN));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(port->hWakeEvent, 0));

  const StatusToken thisJob = {TOK_JOB_ID, 17};
  ApplyStatusTokens(port, &thisJob, 1);
  EXPECT_FALSE(HasPortFlags(port, PF_THREAD_RUN));
  EXPECT_TRUE(HasPortFlags(port, PF_IN_JOB)) << "only the run flag is cleared";
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(port->hWakeEvent, 0));
  EXPECT_EQ(0, SetPrinterCalls());
  CloseHandle(port->hWakeEvent);

  // A port without a wake event (no thread) only loses the flag.
  port->hWakeEvent = NULL;
  SetPortFlags(port, PF_THREAD_RUN);
  ApplyStatusTokens(port, &thisJob, 1);
  EXPECT_FALSE(HasPortFlags(port, PF_THREAD_RUN));

  // A port of named jobs (NT): only the end of the job the monitor named, this id and this run,
  // ends it; the driver's own job (MSJOB 17), an earlier run and other ids do not.
  SetPortFlags(port, PF_THREAD_RUN | PF_NAMED_JOBS | PF_JOB_REPORT_DUE);
  port->jobRun = 4;
  const StatusToken notOurs[][3] = {
      {thisJob, {TOK_JOB_END, 0}, {TOK_JOB_END, 0}},
      {{TOK_JOB_END, 0}, {TOK_OWN_JOB_ID, 17}, {TOK_OWN_JOB_RUN, 3}},
      {{TOK_JOB_END, 0}, {TOK_OWN_JOB_ID, 16}, {TOK_OWN_JOB_RUN, 4}},
      {{TOK_JOB_END, 0}, {TOK_JOB_END, 0}, {TOK_OWN_JOB_ID, 17}},  // the run cut off
  };
  for (const auto& batch : notOurs) {
    ApplyStatusTokens(port, batch, 3);
    EXPECT_TRUE(HasPortFlags(port, PF_THREAD_RUN)) << batch[0].id << " " << batch[1].value;
  }
  const StatusToken ours[] = {{TOK_JOB_END, 0}, {TOK_OWN_JOB_ID, 17}, {TOK_OWN_JOB_RUN, 4}};
  ApplyStatusTokens(port, ours, 3);
  EXPECT_FALSE(HasPortFlags(port, PF_THREAD_RUN | PF_JOB_REPORT_DUE));
  // Without named jobs (the Windows 95 face) the monitor's name means nothing.
  ClearPortFlags(port, PF_NAMED_JOBS);
  SetPortFlags(port, PF_THREAD_RUN);
  ApplyStatusTokens(port, ours, 3);
  EXPECT_TRUE(HasPortFlags(port, PF_THREAD_RUN));
}

TEST_F(ApplyStatusTest, OtherTokensChangeNothing) {
  PortRecord* port = Port("Office", PF_FAMILY_MAKER);
  ShowWindow();
  port->printerStatus = S;
  const StatusToken batch[] = {
      {TOK_TRAY1_SIZE, 40022}, {TOK_TRAY4_SIZE, 1},  {TOK_ECHO_SYNC, 40022},
      {TOK_MEM_LARGEST, 5},    {TOK_JOB_END, 40022}, {TOK_DEVICE_DISPLAY, 40022},
      {0x12345, 40022},
  };
  ApplyStatusTokens(port, batch, sizeof batch / sizeof batch[0]);
  EXPECT_EQ(S, port->printerStatus);
  EXPECT_EQ(0u, port->installedMemory + port->availableMemory);
  EXPECT_EQ(0, SetPrinterCalls() + FakeSpoolerCount(SPOOL_SET_PRINTER_DATA));
  EXPECT_EQ(0, FakeDisplayPostCount());
}

}  // namespace
