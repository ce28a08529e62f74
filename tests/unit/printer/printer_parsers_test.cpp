// The printer's replies read by the monitor's own parsers, driven the way the status thread
// drives them: whatever the printer says must come out as the tokens the monitor acts on, with
// no reply refused, however the bytes are cut into reads.
#include <string.h>

#include <utility>
#include <vector>

#include "ipp_message.h"
#include "ipp_status.h"
#include "printer_test_util.h"
#include "reply_parsers.h"

namespace {

using Tokens = std::vector<std::pair<uint32_t, uint32_t>>;

struct Reader {
  explicit Reader(bool plainParser) : plain(plainParser) {}
  bool plain;
  std::string carried;  // an unfinished reply, kept for the next read
  Tokens tokens;        // every token of every cleanly parsed reply, display positions left out
  int refused = 0;      // replies that did not parse cleanly
  int done = 0;         // replies (runs, for the plain parser) that parsed cleanly

  void Feed(const std::string& bytes) {
    std::string all = carried + bytes;
    std::vector<char> text(all.begin(), all.end());
    text.push_back('\0');
    char* at = text.data();
    while (*at != '\0') {
      StatusToken found[MAX_REPLY_TOKENS];
      uint32_t count = 0;
      char* stop = nullptr;
      uint32_t result;
      if (plain) {
        result = ParsePlainReply(at, MAX_REPLY_TOKENS, found, &count, &stop);
      } else {
        const char* pjlStop = nullptr;
        result = ParsePjlReply(at, MAX_REPLY_TOKENS, found, &count, &pjlStop);
        stop = const_cast<char*>(pjlStop);
      }
      if (result == PARSE_MORE) break;
      if (result == PARSE_DONE) {
        done++;
        for (uint32_t i = 0; i < count; i++) {
          if (found[i].id != TOK_DEVICE_DISPLAY) tokens.push_back({found[i].id, found[i].value});
        }
      } else {
        refused++;
      }
      at = stop;
    }
    carried = all.substr(static_cast<size_t>(at - text.data()));
  }
};

// Everything a generic printer says in a job with a jam, and in answer to the requests.
std::string GenericTranscript() {
  TestPrinter t;
  EmulatedPrinterJobStart(t.printer, 17);
  t.Send(kMonitorPrefix + DriverJob(17, 2));
  EmulatedPrinterRaise(t.printer, COND_JAM, 0, 0, 0);
  EmulatedPrinterRemedy(t.printer, COND_COUNT);
  EmulatedPrinterRaise(t.printer, COND_PAPER_OUT, 0, 2, 4);
  t.Send(
      "\x1b%-12345X@PJL INFO CONFIG\r\n@PJL INFO MEMORY\r\n\x1b%-12345X"
      "@PJL INFO STATUS\r\n@PJL ECHO MSSYNC 42\r\n@PJL INQUIRE INTRAY1SIZE\r\n@PJL INFO ID\r\n");
  return t.Drain();
}

const Tokens kGenericTokens = {
    {TOK_JOB_END, 0},
    {TOK_JOB_ID, 17},  // end of MSJOB 17
    {TOK_DEVICE_CODE, 40022},
    {TOK_DEVICE_ONLINE, 0},  // jam
    {TOK_DEVICE_CODE, 10001},
    {TOK_DEVICE_ONLINE, 1},  // cleared
    {TOK_DEVICE_CODE, 41204},
    {TOK_DEVICE_ONLINE, 0},        // tray 2 empty
    {TOK_CONFIG_MEMORY, 2097152},  // INFO CONFIG
    {TOK_MEM_TOTAL, 1494416},
    {TOK_MEM_LARGEST, 1494176},  // INFO MEMORY
    {TOK_INFO_CODE, 41204},
    {TOK_INFO_ONLINE, 0},  // INFO STATUS
    {TOK_ECHO_SYNC, 42},   // ECHO
    {TOK_TRAY1_SIZE, 1},   // INQUIRE
};

TEST(PrinterThroughParsers, PjlRepliesGiveTheTokensTheMonitorActsOn) {
  Reader reader(false);
  reader.Feed(GenericTranscript());
  EXPECT_EQ(0, reader.refused);
  EXPECT_EQ("", reader.carried);
  EXPECT_EQ(kGenericTokens, reader.tokens);
  EXPECT_EQ(11, reader.done) << "start report and INFO ID parse too, with no tokens";
}

TEST(PrinterThroughParsers, PjlRepliesCutIntoTwoReadsAnywhereGiveTheSameTokens) {
  const std::string transcript = GenericTranscript();
  for (size_t cut = 1; cut < transcript.size(); cut++) {
    // Two cuts lose a reply in the monitor's reader whatever the printer does: inside the
    // reply's first four bytes (a partly arrived "@PJ" is passed over) and inside the word
    // after "ONLINE=" (a cut "", "TR" or "FAL" is a broken reply, not an unfinished one).
    size_t start = transcript.rfind('\f', cut - 1);
    start = start == std::string::npos ? 0 : start + 1;
    if (cut > start && cut < start + 4) continue;
    size_t online = transcript.rfind("ONLINE=", cut);
    if (online != std::string::npos && cut >= online + 7 && cut < transcript.find('\r', online)) {
      continue;
    }
    Reader reader(false);
    reader.Feed(transcript.substr(0, cut));
    reader.Feed(transcript.substr(cut));
    ASSERT_EQ(kGenericTokens, reader.tokens) << "cut at " << cut;
    ASSERT_EQ(0, reader.refused) << "cut at " << cut;
  }
}

TEST(PrinterThroughParsers, PlainRepliesOfBothModelsGiveCodesAndMemory) {
  const std::string request =
      "\x1b%-12345X@PJL\r\n@PJL USTATUS DEVICE=ON\r\n@PJL INFO CONFIG\r\n@PJL INFO MEMORY\r\n"
      "\x1b%-12345X";
  struct Case {
    const char* model;
    Tokens expected;
  } cases[] = {
      {"QV-L3820",
       {{TOK_MEM_INSTALLED, 3982304},
        {TOK_MEM_TOTAL, 2621440},
        {TOK_DEVICE_CODE, 41103},
        {TOK_DEVICE_CODE, 10001},
        {TOK_DEVICE_CODE, 40556},
        {TOK_DEVICE_CODE, 10001}}},
      {"QV-L3470",
       {{TOK_CONFIG_MEMORY, 2097152},
        {TOK_MEM_TOTAL, 1572864},
        {TOK_DEVICE_CODE, 41103},
        {TOK_DEVICE_CODE, 10001},
        {TOK_DEVICE_CODE, 40556},
        {TOK_DEVICE_CODE, 10001}}},
  };
  for (const Case& c : cases) {
    TestPrinter t(c.model);
    t.Send(request + DriverJob(3, 2));  // a job: no job reports in the plain dialect
    EmulatedPrinterRaise(t.printer, COND_PAPER_OUT, 0, 1, 3);
    EmulatedPrinterRemedy(t.printer, COND_COUNT);
    EmulatedPrinterRaise(t.printer, COND_TONER_LOW, 0, 0, 0);
    EmulatedPrinterRemedy(t.printer, COND_COUNT);
    std::string transcript = t.Drain();
    for (size_t piece : {transcript.size(), static_cast<size_t>(1), static_cast<size_t>(7)}) {
      Reader reader(true);
      for (size_t at = 0; at < transcript.size(); at += piece) {
        reader.Feed(transcript.substr(at, piece));
      }
      EXPECT_EQ(c.expected, reader.tokens) << c.model << " reads of " << piece;
      EXPECT_EQ(0, reader.refused) << c.model;
      EXPECT_EQ("", reader.carried) << c.model;
    }
  }
}

// The printer's IPP face read by the monitor's IPP reader: each condition, or several at once,
// comes out as the status and codes the same condition gives on a cable.
TEST(PrinterThroughParsers, IppAnswersGiveTheSameConditions) {
  struct Raised {
    PrinterCondition condition;
    uint32_t tray, size;
  };
  struct Case {
    const char* what;
    std::vector<Raised> raised;
    uint32_t state;
    uint32_t status;
    std::vector<uint32_t> codes;
  };
  const Case cases[] = {
      {"ready", {}, IPP_STATE_IDLE, 0, {10001}},
      {"paper out", {{COND_PAPER_OUT, 1, 4}}, IPP_STATE_STOPPED, 0x10, {41104}},
      {"jam and low toner",
       {{COND_JAM, 0, 0}, {COND_TONER_LOW, 0, 0}},
       IPP_STATE_STOPPED,
       0x8,
       {40556, 40022}},
      {"door open", {{COND_DOOR_OPEN, 0, 0}}, IPP_STATE_STOPPED, 0x400000, {40021}},
      {"a tray empty", {{COND_TRAY_EMPTY, 2, 2}}, IPP_STATE_IDLE, 0, {11202}},
      {"service", {{COND_SERVICE, 0, 0}}, IPP_STATE_STOPPED, 0x2, {50000}},
  };
  for (const Case& c : cases) {
    TestPrinter t("QV-L3820");
    for (const Raised& r : c.raised)
      EmulatedPrinterRaise(t.printer, r.condition, 0, r.tray, r.size);
    uint8_t request[IPP_REQUEST_MAX];
    const size_t asked =
        IppBuildGetPrinterAttributes(request, sizeof request, "ipp://127.0.0.1/ipp/print", 9);
    uint8_t answer[4096];
    const size_t n = EmulatedPrinterIppAnswer(t.printer, request, asked, answer, sizeof answer);
    IppPrinterAttributes a;
    ASSERT_EQ(IPP_READ_OK, IppReadPrinterAttributes(answer, n, &a)) << c.what;
    EXPECT_EQ(9u, a.requestId) << c.what;
    EXPECT_EQ(0u, a.statusCode) << c.what;
    EXPECT_EQ(c.state, a.state) << c.what;
    EXPECT_STREQ(EmulatedPrinterDeviceId(t.printer), a.deviceId) << c.what;
    IppStatus s;
    IppStatusOf(&a, &s);
    EXPECT_EQ(c.status, s.spoolerStatus) << c.what;
    EXPECT_EQ(c.codes, std::vector<uint32_t>(s.codes, s.codes + s.codeCount)) << c.what;
  }
  // Any other operation is refused, and a room too small gets nothing.
  TestPrinter t;
  const uint8_t printJob[] = {2, 0, 0, 0x02, 0, 0, 0, 5, 1, 3};
  uint8_t answer[4096];
  const size_t n = EmulatedPrinterIppAnswer(t.printer, printJob, sizeof printJob, answer, 4096);
  IppPrinterAttributes a;
  ASSERT_EQ(IPP_READ_OK, IppReadPrinterAttributes(answer, n, &a));
  EXPECT_EQ(0x0501u, a.statusCode);
  EXPECT_EQ(0u, EmulatedPrinterIppAnswer(t.printer, printJob, sizeof printJob, answer, 40));
}

}  // namespace
