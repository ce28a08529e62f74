// The guarded heap's block layout, its corruption report, and the string copies.
#include <gtest/gtest.h>
#include <string.h>

#include "fake_kernel.h"
#include "guarded_heap.h"

namespace {

DWORD At(const void* p, int offset) {
  DWORD v;
  memcpy(&v, static_cast<const BYTE*>(p) + offset, 4);
  return v;
}

TEST(GuardedHeap, BlockSizeIsRequestPlusEightRoundedToFour) {
  EXPECT_EQ(GuardedBlockSize(0), 8u);
  EXPECT_EQ(GuardedBlockSize(5), 16u);
  EXPECT_EQ(GuardedBlockSize(8), 16u);
  EXPECT_EQ(GuardedBlockSize(9), 20u);
}

TEST(GuardedHeap, HeaderHoldsSizeAndLastFourBytesHoldTrailer) {
  for (DWORD n : {5u, 8u, 9u}) {
    BYTE* user = static_cast<BYTE*>(GuardedAlloc(n));
    ASSERT_NE(user, nullptr);
    BYTE* block = user - 4;
    DWORD total = GuardedBlockSize(n);
    EXPECT_EQ(At(block, 0), n);
    EXPECT_EQ(At(block, static_cast<int>(total) - 4), 0xDEADBEEFu) << "n=" << n;
    for (DWORD i = 0; i < n; ++i) EXPECT_EQ(user[i], 0) << "user area is zero-filled";
    FakeDebugOutputReset();
    EXPECT_TRUE(GuardedFree(user, n));
    EXPECT_STREQ(FakeDebugOutput(), "") << "an intact block frees silently";
  }
}

TEST(GuardedHeap, DamagedTrailerOrHeaderIsReportedWithBlockStart) {
  for (int damage : {0, 1}) {
    BYTE* user = static_cast<BYTE*>(GuardedAlloc(5));
    ASSERT_NE(user, nullptr);
    if (damage == 0) {
      user[8] ^= 0xFF;  // the trailer: bytes 12 to 15 of the 16-byte block
    } else {
      user[-4] = 6;  // header no longer says 5
    }
    char expected[64];
    snprintf(expected, sizeof expected, "Corrupt Memory in qvllink: %0lx\n\r",
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(user - 4)));
    FakeDebugOutputReset();
    EXPECT_TRUE(GuardedFree(user, 5));  // freed all the same (ASan would see a leak otherwise)
    EXPECT_STREQ(FakeDebugOutput(), expected);
  }
}

TEST(GuardedHeap, FailedAllocationReportsTotalBlockSize) {
  FakeDebugOutputReset();
  FakeFailLocalAlloc(1);
  EXPECT_EQ(GuardedAlloc(9), nullptr);
  EXPECT_STREQ(FakeDebugOutput(), "qvllink: Heap Allocation failed for 20 bytes\n\r");
}

TEST(GuardedHeap, DupStringAndFreeString) {
  EXPECT_EQ(DupString(nullptr), nullptr);
  EXPECT_FALSE(FreeString(nullptr));
  char* copy = DupString("Office Printer");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "Office Printer");
  EXPECT_EQ(At(copy - 4, 0), 15u) << "the header holds length + 1";
  FakeDebugOutputReset();
  EXPECT_TRUE(FreeString(copy));
  EXPECT_STREQ(FakeDebugOutput(), "");
}

TEST(DebugPrint, LongLinesAreCutToKeepTheCarriageReturn) {
  std::string longText(2000, 'x');
  FakeDebugOutputReset();
  DebugPrint("%s", longText.c_str());
  std::string out = FakeDebugOutput();
  ASSERT_EQ(out.size(), 1023u) << "1022 characters, the carriage return, then the NUL";
  EXPECT_EQ(out.back(), '\r');
}

}  // namespace
