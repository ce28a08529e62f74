// The port list: creation order, case-insensitive search, unlinking, and the printer handle.
#include <gtest/gtest.h>

#include "fake_spooler.h"
#include "guarded_heap.h"
#include "monitor_entry.h"
#include "port_record.h"

namespace {

class PortRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    MONITOR table;
    InitializeMonitorEx(nullptr, &table);
    FakeSpoolerReset(true);
    EnterMonitorLock();
  }
  void TearDown() override {
    while (PortListHead()) FreePortRecord(PortListHead());
    LeaveMonitorLock();
  }
};

TEST_F(PortRecords, RecordsAreLinkedInOrderAndUnlinkedCleanly) {
  PortRecord* a = CreatePortRecord("LPT1:", "A");
  PortRecord* b = CreatePortRecord("LPT2:", "B");
  PortRecord* c = CreatePortRecord("LPT3:", "C");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(PortListHead(), a);
  EXPECT_EQ(a->next, b);
  EXPECT_EQ(b->next, c);
  EXPECT_EQ(c->next, nullptr);
  EXPECT_EQ(a->signature, 0x4F50u);
  EXPECT_STREQ(a->portName, "LPT1:");
  EXPECT_EQ(a->portName, a->portNameText) << "the name lives inside the record";
  EXPECT_STREQ(b->printerName, "B");
  EXPECT_NE(b->hPrinter, nullptr);

  EXPECT_TRUE(FreePortRecord(b));
  EXPECT_EQ(a->next, c);
  EXPECT_TRUE(FreePortRecord(a));
  EXPECT_EQ(PortListHead(), c);
  EXPECT_EQ(FakeSpoolerOpenHandles(), 1) << "freeing closes the printer handle";
}

TEST_F(PortRecords, FreeingARecordNotInTheListChangesNothing) {
  PortRecord* a = CreatePortRecord("LPT1:", "A");
  PortRecord stray{};
  EXPECT_FALSE(FreePortRecord(&stray));
  EXPECT_EQ(PortListHead(), a);
}

TEST_F(PortRecords, FindIgnoresLetterCaseAndNullNameFindsNothing) {
  PortRecord* a = CreatePortRecord("LPT1:", "A");
  PortRecord* b = CreatePortRecord("Net:Port", "B");
  EXPECT_EQ(FindPortRecord(PortListHead(), "lpt1:"), a);
  EXPECT_EQ(FindPortRecord(PortListHead(), "NET:PORT"), b);
  EXPECT_EQ(FindPortRecord(b, "LPT1:"), nullptr) << "the search starts at the given record";
  EXPECT_EQ(FindPortRecord(PortListHead(), nullptr), nullptr);
}

TEST_F(PortRecords, SizeCoversTheNameAndAFailedPrinterOpenLeavesZero) {
  FakeSpoolerReset(false);  // no printer of that name
  PortRecord* a = CreatePortRecord("COM1:", "Missing");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->hPrinter, nullptr);
  EXPECT_EQ(a->size, offsetof(PortRecord, portNameText) + 6);
}

}  // namespace
