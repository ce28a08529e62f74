// NotifyDisplay and its pieces: the rebuilt status, the program's start, the repeat rule, and
// the shared printer name block.
#include <string.h>

#include <atomic>
#include <string>
#include <thread>

#include "session_watch.h"
#include "status_support.h"

namespace {

const DWORD UI = PRINTER_STATUS_USER_INTERVENTION;
const char* const kMapping = SHARED_PRINTER_NAME_MAPPING;

using NotifyDisplayTest = StatusTest;

TEST_F(NotifyDisplayTest, StatusRebuiltFromEachCode) {
  struct Case {
    DWORD code;
    DWORD expected;
  } cases[] = {
      {10001, 0},
      {11099, 0},
      {11100, PRINTER_STATUS_PAPER_OUT},
      {11999, PRINTER_STATUS_PAPER_OUT},
      {12000, 0},
      {29999, 0},
      {30000, UI},
      {30016, PRINTER_STATUS_OUT_OF_MEMORY | UI},
      {30036, PRINTER_STATUS_ERROR | UI},
      {39999, UI},
      {40000, 0},
      {40020, UI},
      {40021, PRINTER_STATUS_DOOR_OPEN | UI},
      {40022, PRINTER_STATUS_PAPER_JAM | UI},
      {40023, PRINTER_STATUS_PAPER_JAM | UI},
      {40024, PRINTER_STATUS_PAPER_JAM | UI},
      {40025, UI},
      {40556, PRINTER_STATUS_TONER_LOW},
      {40557, UI},
      {40558, 0},
      {40559, PRINTER_STATUS_TONER_LOW},
      {40999, UI},
      {41000, PRINTER_STATUS_PAPER_OUT | UI},
      {41999, PRINTER_STATUS_PAPER_OUT | UI},
      {42000, UI},
      {49999, UI},
      {50000, PRINTER_STATUS_ERROR | UI},
      {99999, PRINTER_STATUS_ERROR | UI},
  };
  IdentifiedModelNumber = 3820;
  PortRecord* port = Port("Family", PF_FAMILY_MAKER);
  for (const Case& c : cases) {
    ResetDisplay();
    ShowWindow();
    port->printerStatus = PRINTER_STATUS_BUSY;  // nothing carries over
    NotifyDisplay(port, c.code);
    EXPECT_EQ(c.expected, port->printerStatus) << "code " << c.code;
    ASSERT_EQ(1, FakeDisplayPostCount()) << "code " << c.code;
    const FakePostedMessage post = FakeDisplayPostAt(0);
    EXPECT_EQ(FakeDisplayWindowHandle(), post.window);
    EXPECT_EQ(static_cast<UINT>(DLM_STATUS_CODE), post.message);
    EXPECT_EQ(c.code, post.wParam);
    EXPECT_EQ(3820, post.lParam);
    EXPECT_STREQ("Family", post.printerName) << "code " << c.code;
  }
  EXPECT_EQ(0, FakeSpoolerCount(SPOOL_SET_PRINTER)) << "the batch tells the spooler, not this";
}

TEST_F(NotifyDisplayTest, RepeatsOfTheThreeCodesPostOnce) {
  struct Case {
    const char* what;
    std::vector<DWORD> codes;
    std::vector<DWORD> posted;
  } cases[] = {
      {"40000 resets", {40556, 40556, 40558, 40558, 40000, 40558}, {40556, 40558, 40000, 40558}},
      {"alternating", {40556, 40559, 40556}, {40556, 40559, 40556}},
      {"other code does not reset", {40559, 10001, 40559}, {40559, 10001}},
      {"other codes repeat freely", {40557, 40557, 10001, 10001}, {40557, 40557, 10001, 10001}},
  };
  PortRecord* port = Port("Family", PF_FAMILY_MODEL);
  for (const Case& c : cases) {
    ResetDisplay();
    ShowWindow();
    for (DWORD code : c.codes) NotifyDisplay(port, code);
    EXPECT_EQ(c.posted, PostedCodes()) << c.what;
  }
}

TEST_F(NotifyDisplayTest, RepeatRuleSpansPorts) {
  ShowWindow();
  PortRecord* first = Port("First", PF_FAMILY_MODEL);
  PortRecord* second = Port("Second", PF_FAMILY_MAKER);
  NotifyDisplay(first, 40556);
  NotifyDisplay(second, 40556);
  EXPECT_EQ((std::vector<DWORD>{40556}), PostedCodes());
  EXPECT_EQ(PRINTER_STATUS_TONER_LOW, second->printerStatus) << "the status is rebuilt anyway";
  // The NT face keeps the memory per port: B's toner code is not a repeat of A's.
  EXPECT_FALSE(IsShownRepeat(&first->lastRepeatCode, 40556));
  EXPECT_FALSE(IsShownRepeat(&second->lastRepeatCode, 40556));
  EXPECT_TRUE(IsShownRepeat(&first->lastRepeatCode, 40556));
  AfterCodeShown(&second->lastRepeatCode, 40000);
  EXPECT_FALSE(IsShownRepeat(&second->lastRepeatCode, 40556));
  EXPECT_EQ(40556u, LastRepeatCode) << "the Windows 95 face's memory is its own";
}

TEST_F(NotifyDisplayTest, NoWindowNoPostAndNoRepeatRecorded) {
  PortRecord* port = Port("Family", PF_FAMILY_MODEL);
  NotifyDisplay(port, 40556);
  EXPECT_EQ(0, FakeDisplayPostCount());
  EXPECT_EQ(PRINTER_STATUS_TONER_LOW, port->printerStatus);
  EXPECT_EQ(1, FakeDisplayWinExecCount()) << "a start was tried";
  EXPECT_FALSE(FakeDisplayMappingExists(kMapping)) << "nothing published without a window";

  // The unposted 40556 did not count as posted.
  ShowWindow();
  NotifyDisplay(port, 40556);
  EXPECT_EQ((std::vector<DWORD>{40556}), PostedCodes());

  // 40000 resets the repeat even when it finds no window.
  FakeDisplaySetWindow(false);
  NotifyDisplay(port, 40000);
  ShowWindow();
  NotifyDisplay(port, 40556);
  EXPECT_EQ((std::vector<DWORD>{40556, 40556}), PostedCodes());
}

TEST_F(NotifyDisplayTest, MissingProgramIsStartedFromTheSystemDirectory) {
  FakeDisplayWinExecCreatesWindow(true);
  PortRecord* port = Port("Family", PF_FAMILY_MODEL);
  NotifyDisplay(port, 41003);
  EXPECT_EQ(1, FakeDisplayWinExecCount());
  EXPECT_STREQ("C:\\windows\\system32\\qvlpanel.exe", FakeDisplayLastWinExecCommand());
  EXPECT_EQ(static_cast<UINT>(SW_HIDE), FakeDisplayLastWinExecShow());
  EXPECT_EQ((std::vector<DWORD>{41003}), PostedCodes()) << "the same code reaches the program";

  // Running now: not started again, the window looked up once to decide, once to post.
  const int lookups = FakeDisplayFindWindowCount();
  NotifyDisplay(port, 41003);
  EXPECT_EQ(1, FakeDisplayWinExecCount());
  EXPECT_EQ(lookups + 2, FakeDisplayFindWindowCount());
  EXPECT_EQ(2, FakeDisplayPostCount());
}

TEST_F(NotifyDisplayTest, ProgramStartedOnlyFromAWholePath) {
  // The directory may take 245 characters: with backslash, file name and NUL 259 bytes.
  const std::string longest = "C:\\" + std::string(242, 'd');
  struct Case {
    const char* what;
    bool fetched;  // false: GetSystemDirectoryA fails
    std::string directory;
    bool started;
  } cases[] = {
      {"fails", false, "", false},
      {"empty", true, "", false},
      {"too long by one", true, longest + "e", false},
      {"far too long", true, longest + std::string(100, 'x'), false},
      {"longest that fits", true, longest, true},
  };
  PortRecord* port = Port("Family", PF_FAMILY_MODEL);
  for (const Case& c : cases) {
    ResetDisplay();
    FakeSetSystemDirectory(c.fetched ? c.directory.c_str() : NULL);
    NotifyDisplay(port, 10001);
    EXPECT_EQ(c.started ? 1 : 0, FakeDisplayWinExecCount()) << c.what;
    if (c.started) {
      EXPECT_EQ(c.directory + "\\qvlpanel.exe", FakeDisplayLastWinExecCommand());
    }
  }
}

TEST_F(NotifyDisplayTest, FamilyByMakerOnlySendsModelNumberZero) {
  ShowWindow();
  PortRecord* port = Port("Family", PF_FAMILY_MAKER);
  NotifyDisplay(port, 10001);
  ASSERT_EQ(1, FakeDisplayPostCount());
  EXPECT_EQ(0, FakeDisplayPostAt(0).lParam);
}

TEST_F(NotifyDisplayTest, OneMappingHandleForTheLifeOfTheLibrary) {
  ShowWindow();
  PortRecord* first = Port("First printer", PF_FAMILY_MODEL);
  PortRecord* second = Port("Second printer", PF_FAMILY_MODEL);
  const DWORD codes[] = {10001, 40021, 41000, 10001, 30016};
  for (int i = 0; i < 5; ++i) NotifyDisplay(i % 2 ? second : first, codes[i]);

  ASSERT_EQ(5, FakeDisplayPostCount());
  for (int i = 0; i < 5; ++i) {
    const FakePostedMessage post = FakeDisplayPostAt(i);
    EXPECT_TRUE(post.mappingExisted) << "post " << i;
    EXPECT_STREQ(i % 2 ? "Second printer" : "First printer", post.printerName) << "post " << i;
  }
  EXPECT_EQ(1, FakeDisplayCreateMappingCalls());
  EXPECT_EQ(1, FakeDisplayMappingHandles(kMapping));
  EXPECT_EQ(SHARED_PRINTER_NAME_SIZE, FakeDisplayMappingSize(kMapping));
  EXPECT_EQ(0, FakeDisplayOpenViews());

  ReleaseSharedPrinterName();
  EXPECT_FALSE(FakeDisplayMappingExists(kMapping));
  ReleaseSharedPrinterName();  // nothing left to close

  // The next notification makes a fresh block.
  NotifyDisplay(first, 10001);
  EXPECT_TRUE(FakeDisplayPostAt(5).mappingExisted);
  EXPECT_EQ(1, FakeDisplayMappingHandles(kMapping));
}

TEST_F(NotifyDisplayTest, ExistingBlockIsOpenedAndRewrittenWhole) {
  ShowWindow();
  // Left by an earlier run: a long name with no NUL in the block.
  std::string old(SHARED_PRINTER_NAME_SIZE, 'z');
  FakeDisplayWriteMapping(kMapping, SHARED_PRINTER_NAME_SIZE, old.data(), SHARED_PRINTER_NAME_SIZE);
  PortRecord* port = Port("Lab", PF_FAMILY_MODEL);
  EXPECT_EQ(1u, PublishPrinterName(port));
  EXPECT_EQ(0, FakeDisplayCreateMappingCalls());
  EXPECT_EQ(2, FakeDisplayMappingHandles(kMapping));
  BYTE block[SHARED_PRINTER_NAME_SIZE];
  ASSERT_TRUE(FakeDisplayReadMapping(kMapping, block, sizeof block));
  BYTE expected[SHARED_PRINTER_NAME_SIZE] = {'L', 'a', 'b'};
  EXPECT_EQ(0, memcmp(expected, block, sizeof block)) << "the rest of the block is zero";
}

TEST_F(NotifyDisplayTest, PrinterNameCutToFitWithItsNul) {
  struct Case {
    size_t length;
    size_t kept;
  } cases[] = {{1, 1}, {47, 47}, {48, 47}, {60, 47}, {700, 47}};
  // 700 characters do not fit the usual level-2 buffer: the information is read again.
  ShowWindow();
  for (const Case& c : cases) {
    // Each name starts with another letter, so a block left from the case before shows.
    std::string name(c.length, 'p');
    for (size_t i = 0; i < c.length; ++i) name[i] = static_cast<char>('a' + (i + c.length) % 26);
    PortRecord* port = Port(name.c_str(), PF_FAMILY_MODEL);
    NotifyDisplay(port, 10001);
    const FakePostedMessage post = FakeDisplayPostAt(FakeDisplayPostCount() - 1);
    EXPECT_EQ(name.substr(0, c.kept), post.printerName) << c.length;
    for (size_t i = c.kept; i < SHARED_PRINTER_NAME_SIZE; ++i) {
      EXPECT_EQ(0, post.mappingBytes[i]) << "length " << c.length << " byte " << i;
    }
  }
}

TEST_F(NotifyDisplayTest, FailuresStillPost) {
  ShowWindow();
  PortRecord* named = Port("Named", PF_FAMILY_MODEL);
  PortRecord* unreadable = Port(NULL, PF_FAMILY_MODEL);  // hPrinter 0: GetPrinterA fails

  // Neither opened nor created: 0, and a notification then posts all the same.
  FakeDisplayFailCreateMapping(1);
  EXPECT_EQ(0u, PublishPrinterName(named));
  FakeDisplayFailCreateMapping(1);
  NotifyDisplay(named, 40021);
  EXPECT_EQ((std::vector<DWORD>{40021}), PostedCodes());
  EXPECT_FALSE(FakeDisplayPostAt(0).mappingExisted);

  // The next notification tries again and succeeds.
  NotifyDisplay(named, 40022);
  EXPECT_STREQ("Named", FakeDisplayPostAt(1).printerName);

  // Not mappable: 0, the handle is kept, nothing leaks, the old name stays.
  FakeDisplayFailMapView(1);
  EXPECT_EQ(0u, PublishPrinterName(unreadable));
  EXPECT_EQ(1, FakeDisplayMappingHandles(kMapping));

  // No printer information: the block keeps the previous name; 1 all the same.
  EXPECT_EQ(1u, PublishPrinterName(unreadable));
  NotifyDisplay(unreadable, 40023);
  EXPECT_STREQ("Named", FakeDisplayPostAt(2).printerName);
  EXPECT_EQ(0, FakeDisplayOpenViews());
}

TEST_F(NotifyDisplayTest, FirstPublishRaceKeepsOneHandle) {
  PortRecord* port = Port("Raced", PF_FAMILY_MODEL);
  for (int round = 0; round < 5; ++round) {
    ResetDisplay();
    FakeDisplayMappingCallDelay(2000);  // every thread finds no handle yet
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
      threads.emplace_back([&] {
        while (!go.load()) {
        }
        EXPECT_EQ(1u, PublishPrinterName(port));
      });
    }
    go = true;
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(1, FakeDisplayMappingHandles(kMapping)) << "round " << round;
    EXPECT_EQ(0, FakeDisplayOpenViews());
  }
}

std::vector<uint16_t> Name(const char* text) {
  std::vector<uint16_t> name;
  for (; *text; ++text) name.push_back(static_cast<unsigned char>(*text));
  name.push_back(0);
  return name;
}

// The NT display link, the reader's side: a printer's record read again at any pace yields each
// publication since the last read once, in order, as far as the record still holds them; a
// printer seen first shows what stands now, unless its status thread has ended; a new spooler
// start counts afresh; a record of another size or version, or a number 0, is not read.
struct Publisher {
  SessionStatus status = {SESSION_STATUS_VERSION, 5, 0, 0, 3820, 0, {}};
  void Publish(uint32_t item) {
    status.sequence = SessionNextNumber(status.sequence);
    status.recent[status.sequence % SESSION_RECENT] = item;
    status.threadEnded = item == SESSION_RECENT_ENDED;
    status.code = status.threadEnded ? 0 : item;
  }
};

std::string Taken(SessionSeen* seen, const SessionStatus& status,
                  uint32_t size = sizeof(SessionStatus)) {
  SessionEntry out[SESSION_RECENT + 1];
  const uint32_t n = SessionTake(seen, status, size, out, SESSION_RECENT + 1);
  std::string text;
  for (uint32_t i = 0; i < n; ++i) {
    if (!text.empty()) text += " ";
    text += out[i].kind == SESSION_THREAD_ENDED ? "end" : std::to_string(out[i].code);
    text += "#" + std::to_string(out[i].sequence);
  }
  return text;
}

TEST(SessionWatch, EachPublicationOnceInOrderAndTheStateNowAtFirstSight) {
  Publisher monitor;
  SessionSeen seen = {};
  monitor.Publish(SESSION_RECENT_ENDED);  // the printer announced at its port's open
  EXPECT_EQ("", Taken(&seen, monitor.status)) << "first sight of an ended thread: nothing";
  monitor.Publish(40556);
  monitor.Publish(11104);
  EXPECT_EQ("40556#2 11104#3", Taken(&seen, monitor.status)) << "both codes since the last read";
  EXPECT_EQ("", Taken(&seen, monitor.status)) << "read again: nothing new";
  SessionSeen late = {};
  EXPECT_EQ("11104#3", Taken(&late, monitor.status)) << "a late reader: what stands now";
  monitor.Publish(SESSION_RECENT_ENDED);
  monitor.Publish(41104);
  EXPECT_EQ("end#4 41104#5", Taken(&seen, monitor.status));
  for (uint32_t code = 20001; code <= 20010; ++code) monitor.Publish(code);
  EXPECT_EQ("20003#8 20004#9 20005#10 20006#11 20007#12 20008#13 20009#14 20010#15",
            Taken(&seen, monitor.status))
      << "a reader far behind takes what the record still holds";

  Publisher restarted;  // the spooler started again: its numbers begin anew
  restarted.status.spoolerStart = 9;
  restarted.Publish(SESSION_RECENT_ENDED);
  restarted.Publish(41003);
  EXPECT_EQ("end#2 41003#2", Taken(&seen, restarted.status))
      << "what the earlier start showed closes, and what stands now shows";

  monitor.status.sequence = 0xFFFFFFFFu;
  SessionSeen wrapping = {TRUE, 5, 0xFFFFFFFEu};
  monitor.status.recent[0xFFFFFFFFu % SESSION_RECENT] = 30001;
  monitor.Publish(30002);  // 0 is never a number: the one after 0xFFFFFFFF is 1
  EXPECT_EQ("30001#4294967295 30002#1", Taken(&wrapping, monitor.status));

  SessionSeen odd = {};
  EXPECT_EQ("", Taken(&odd, monitor.status, sizeof(SessionStatus) - 4));
  SessionStatus newer = monitor.status;
  newer.version = SESSION_STATUS_VERSION + 1;
  EXPECT_EQ("", Taken(&odd, newer));
  newer = monitor.status;
  newer.sequence = 0;
  EXPECT_EQ("", Taken(&odd, newer));
  EXPECT_FALSE(odd.seen) << "an unreadable record leaves the printer unseen";
}

// Whose dialogs a printer's are: the user's own jobs (user name in any letter case, machine
// with or without its backslashes), for ten minutes after the last one left the queue, or
// every printer with /all.
TEST(SessionWatch, ThePrinterIsInViewWhileTheUserHasAJobThereAndTenMinutesAfter) {
  auto w = [](const char* text) { return Name(text); };
  EXPECT_TRUE(SessionOwnJob(w("ann").data(), w("\\\\DESK7").data(), w("Ann").data(),
                            w("\\\\desk7").data()));
  EXPECT_TRUE(
      SessionOwnJob(w("ANN").data(), w("DESK7").data(), w("ann").data(), w("\\\\DESK7").data()));
  EXPECT_TRUE(SessionOwnJob(w("ann").data(), w("").data(), w("ann").data(), w("\\\\X").data()));
  EXPECT_FALSE(SessionOwnJob(w("bob").data(), w("\\\\DESK7").data(), w("ann").data(),
                             w("\\\\DESK7").data()));
  EXPECT_FALSE(
      SessionOwnJob(w("ann").data(), w("\\\\DESK8").data(), w("ann").data(), w("\\\\DESK7").data()))
      << "the same user name on another machine is another user's job";
  EXPECT_FALSE(SessionOwnJob(NULL, NULL, w("ann").data(), w("\\\\DESK7").data()));
  const DWORD now = 5000;
  EXPECT_TRUE(SessionInView(FALSE, TRUE, 0, now));
  EXPECT_FALSE(SessionInView(FALSE, FALSE, 0, now)) << "never a job there";
  EXPECT_TRUE(SessionInView(FALSE, FALSE, now - (SESSION_JOB_AFTERGLOW_MS - 1), now));
  EXPECT_FALSE(SessionInView(FALSE, FALSE, now - SESSION_JOB_AFTERGLOW_MS, now));
  EXPECT_TRUE(SessionInView(FALSE, FALSE, 0xFFFFFF00u, 100)) << "across the tick count's wrap";
  EXPECT_TRUE(SessionInView(TRUE, FALSE, 0, now)) << "/all";
}

}  // namespace
