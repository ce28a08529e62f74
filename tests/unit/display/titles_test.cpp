// Dialog titles and the bounded read of the shared printer name.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "posix/win32_posix_hooks.h"
#include "status_file.h"
#include "titles.h"

namespace {

const TitleTexts kTexts = {"Status Display", "Status Display - Recovery", " - Status Display",
                           " - Recovery"};

TEST(BuildDialogTitles, FromNameOrFallback) {
  char status[TITLE_SIZE];
  char recovery[TITLE_SIZE];
  BuildDialogTitles("Laser", &kTexts, status, recovery);
  EXPECT_STREQ(status, "Laser - Status Display");
  EXPECT_STREQ(recovery, "Laser - Status Display - Recovery");
  BuildDialogTitles(NULL, &kTexts, status, recovery);
  EXPECT_STREQ(status, "Status Display");
  EXPECT_STREQ(recovery, "Status Display - Recovery");
  // An empty name still makes printer titles.
  BuildDialogTitles("", &kTexts, status, recovery);
  EXPECT_STREQ(status, " - Status Display");
}

TEST(BuildDialogTitles, LongTextsAreCut) {
  std::string suffix(255, 's');
  TitleTexts texts = {"a", "b", suffix.c_str(), suffix.c_str()};
  char status[TITLE_SIZE];
  char recovery[TITLE_SIZE];
  BuildDialogTitles(std::string(48, 'n').c_str(), &texts, status, recovery);
  EXPECT_EQ(strlen(status), static_cast<size_t>(TITLE_SIZE - 1));
  EXPECT_EQ(strlen(recovery), static_cast<size_t>(TITLE_SIZE - 1));
}

TEST(CopySharedPrinterName, StaysInsideTheBlock) {
  char name[PRINTER_NAME_SIZE];
  struct Case {
    std::string block;  // exactly the 48 bytes of the shared block
    std::string expected;
  } cases[] = {
      {std::string("Laser") + std::string(43, '\0'), "Laser"},
      {std::string(47, 'A') + '\0', std::string(47, 'A')},
      {std::string(48, 'B'), std::string(48, 'B')},  // no NUL in the block
      {std::string("P\0junk", 6) + std::string(42, 'x'), "P"},
      {std::string(48, '\0'), ""},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.block.size(), static_cast<size_t>(SHARED_PRINTER_NAME_SIZE));
    // A heap block of exactly 48 bytes, so a read past it is caught by the address sanitizer.
    std::vector<char> block(c.block.begin(), c.block.end());
    CopySharedPrinterName(block.data(), name);
    EXPECT_EQ(std::string(name), c.expected);
  }
}

}  // namespace

// Where the windows are Unicode, a name or text that the system's code page cannot hold must
// not come out with characters replaced: no conversion on that path passes a default
// character, and what is converted from a code page reads exactly.
TEST(UnicodePath, NoConversionPassesADefaultCharacter) {
  const int before = Win32PosixDefaultCharConversions();
  const uint16_t kName[] = {'B', 0xFC, 'r', 'o', ' ', 0x3A9, 0};  // Büro Ω
  const uint16_t kStatus[] = {'S', 't', 'a', 't', 'u', 's', 0};
  const uint16_t kRecovery[] = {' ', '-', ' ', 'R', 0};
  const uint16_t kSuffix[] = {' ', '-', ' ', 'S', 0};
  const WideTitleTexts texts = {kStatus, kRecovery, kSuffix, kRecovery};
  uint16_t status[TITLE_SIZE];
  uint16_t recovery[TITLE_SIZE];
  BuildWideDialogTitles(kName, &texts, status, recovery);
  const uint16_t kExpected[] = {'B', 0xFC, 'r', 'o', ' ', 0x3A9, ' ', '-', ' ', 'S', 0};
  EXPECT_EQ(memcmp(status, kExpected, sizeof kExpected), 0);

  // The Windows 95 link's name, in the system's code page (windows-1252 here).
  uint16_t wide[PRINTER_NAME_SIZE];
  ASSERT_TRUE(SharedPrinterNameToWide("B\xFCro \x93x\x94", wide));
  const uint16_t kWideName[] = {'B', 0xFC, 'r', 'o', ' ', 0x201C, 'x', 0x201D, 0};
  EXPECT_EQ(memcmp(wide, kWideName, sizeof kWideName), 0);

  // A status text, from the file's code page whatever the system's is.
  StatusEntry entry = {};
  entry.codePage = CP_UTF8;
  uint16_t text[RECOVERY_TEXT_SIZE];
  ASSERT_TRUE(StatusTextToWide(&entry, "\xCE\xA9 \xE2\x80\x9C", text, RECOVERY_TEXT_SIZE));
  const uint16_t kText[] = {0x3A9, ' ', 0x201C, 0};
  EXPECT_EQ(memcmp(text, kText, sizeof kText), 0);
  entry.codePage = 1252;
  ASSERT_TRUE(StatusTextToWide(&entry, "\x80", text, RECOVERY_TEXT_SIZE));
  EXPECT_EQ(text[0], 0x20AC);
  entry.codePage = 99;  // a code page the system does not have: nothing, not a guess
  EXPECT_FALSE(StatusTextToWide(&entry, "x", text, RECOVERY_TEXT_SIZE));
  EXPECT_EQ(text[0], 0);

  EXPECT_EQ(Win32PosixDefaultCharConversions(), before);
}
