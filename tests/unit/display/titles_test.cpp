// Dialog titles and the bounded read of the shared printer name.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

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
