// The text operations under the plain parser and the device ID reader.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "text_ops.h"

namespace {

TEST(TextOps, FindCharStopsAtTheNul) {
  const char text[] = "ab;cd;";
  EXPECT_EQ(text + 2, FindChar(text, ';'));
  EXPECT_EQ(nullptr, FindChar(text, 'x'));
  EXPECT_EQ(nullptr, FindChar(text, '\0'));  // the terminator is not part of the text
  EXPECT_EQ(nullptr, FindChar("", 'a'));
}

TEST(TextOps, CompareBytesIsASigned8BitDifference) {
  EXPECT_EQ(0, CompareBytes("MDL:", "MDL:", 4));
  EXPECT_EQ(-1, CompareBytes("MDK:", "MDL:", 4));
  EXPECT_EQ(1, CompareBytes("b", "a", 1));
  EXPECT_EQ(-128, CompareBytes("\x80", "\x00", 1));  // 0x80 as a signed byte
  EXPECT_EQ(-2, CompareBytes("\x01", "\x03", 1));
  EXPECT_EQ(2, CompareBytes("\x01", "\xff", 1));  // 1 - 255 wraps to 2
  // A NUL in the same place in both compares equal and the comparison goes on.
  EXPECT_EQ(-1, CompareBytes("a\0b", "a\0c", 3));
  EXPECT_EQ(0, CompareBytes("a\0b", "a\0b", 3));
}

TEST(TextOps, ReadDecimalCappedStopsOneDigitPastFive) {
  struct Case {
    const char* text;
    uint32_t value;
  } cases[] = {
      {"", 0},
      {"x1", 0},
      {"12a", 12},
      {"99999", 99999},
      {"100000", 100000},
      {"123456789", 123456},
      {"0000000000012", 12},
      {"99999999", 999999},
  };
  for (const Case& c : cases) EXPECT_EQ(c.value, ReadDecimalCapped(c.text)) << c.text;
}

TEST(TextOps, ReadDecimalWrapsAt32Bits) {
  EXPECT_EQ(4294967295u, ReadDecimal("4294967295"));
  EXPECT_EQ(1u, ReadDecimal("4294967297"));
  EXPECT_EQ(2097152u, ReadDecimal("2097152 bytes"));
  EXPECT_EQ(0u, ReadDecimal(" 1"));
}

TEST(TextOps, FindSubstringFindsTheLeftmostOccurrence) {
  const char text[] = "TOTAL=1 TOTAL = 2 CODE=3";
  EXPECT_EQ(text + 0, FindSubstring(text, "TOTAL"));
  EXPECT_EQ(text + 8, FindSubstring(text, "TOTAL = "));
  EXPECT_EQ(text + 18, FindSubstring(text, "CODE="));
  EXPECT_EQ(nullptr, FindSubstring(text, "code="));    // case matters
  EXPECT_EQ(nullptr, FindSubstring(text, "CODE=3 "));  // runs past the end
  EXPECT_EQ(text, FindSubstring(text, ""));
  EXPECT_EQ(nullptr, FindSubstring("", "A"));
  // Partial matches that overlap the real one (the cases a naive restart gets right and a
  // careless skip gets wrong).
  const char overlap[] = "ABABABAC";
  EXPECT_EQ(overlap + 2, FindSubstring(overlap, "ABABAC"));
  const char repeat[] = "aaaab";
  EXPECT_EQ(repeat + 1, FindSubstring(repeat, "aaab"));
}

TEST(TextOps, FindSubstringTakesNeedlesUpTo255Characters) {
  std::string needle(255, 'x');
  needle.back() = 'y';
  std::string haystack = std::string(300, 'x') + "y tail";
  EXPECT_EQ(haystack.c_str() + 300 - 254, FindSubstring(haystack.c_str(), needle.c_str()));
  std::string longer = needle + "z";
  std::string both = haystack + longer;
  EXPECT_EQ(nullptr, FindSubstring(both.c_str(), longer.c_str()));  // past the window: never
}

// Every haystack up to 9 letters over {a, b} against every needle up to 4 letters, compared
// with the plain definition (first position where all needle characters agree).
TEST(TextOps, FindSubstringAgreesWithThePlainDefinition) {
  auto spell = [](unsigned bits, unsigned length) {
    std::string s;
    for (unsigned i = 0; i < length; ++i) s += (bits >> i & 1) ? 'b' : 'a';
    return s;
  };
  for (unsigned hl = 0; hl <= 9; ++hl) {
    for (unsigned hb = 0; hb < (1u << hl); ++hb) {
      std::string h = spell(hb, hl);
      for (unsigned nl = 1; nl <= 4; ++nl) {
        for (unsigned nb = 0; nb < (1u << nl); ++nb) {
          std::string n = spell(nb, nl);
          size_t at = h.find(n);
          const char* want = at == std::string::npos ? nullptr : h.c_str() + at;
          ASSERT_EQ(want, FindSubstring(h.c_str(), n.c_str())) << n << " in " << h;
        }
      }
    }
  }
}

}  // namespace
