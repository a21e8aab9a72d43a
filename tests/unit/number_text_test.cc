// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "persist/number_text.h"

#include <ostream>

#include <gtest/gtest.h>

namespace tidings {
namespace {

constexpr int32_t kUntouched = 0x5A5A5A5A;

struct Case {
  const char16_t* lpText;
  bool bResult;
  int32_t nValue;  // kUntouched: no digits, the output keeps what it held
};

// The text as escaped ASCII: gtest would print the pointer, and the test names ctest lists would change
// from build to build.
void PrintTo(const Case& c, std::ostream* os) {
  *os << '"';
  for (const char16_t* p = c.lpText; *p != 0; ++p) {
    if (*p >= 0x20 && *p < 0x7F) {
      *os << static_cast<char>(*p);
    } else {
      *os << "\\u" << std::hex << static_cast<unsigned>(*p) << std::dec;
    }
  }
  *os << '"';
}

class NumberTextTest : public ::testing::TestWithParam<Case> {};

TEST_P(NumberTextTest, Reads) {
  const Case& c = GetParam();
  int32_t nValue = kUntouched;
  EXPECT_EQ(ParseNumberText(c.lpText, &nValue), c.bResult);
  EXPECT_EQ(nValue, c.nValue);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NumberTextTest,
    ::testing::Values(
        // Spaces go wherever they stand; nothing left means no number and a false result.
        Case{u"", false, kUntouched}, Case{u"   ", false, kUntouched}, Case{u" 0x1E ", true, 30},
        Case{u"1 000", true, 1000}, Case{u"- 5", true, -5}, Case{u"0 x 1 f", true, 31},
        // Decimal: sign, digits up to the first other character.
        Case{u"-5", true, -5}, Case{u"+17", true, 17}, Case{u"-0x10", true, 0}, Case{u"12abc", true, 12},
        Case{u"007", true, 7}, Case{u"--5", true, kUntouched}, Case{u"+", true, kUntouched},
        Case{u"-", true, kUntouched}, Case{u"abc", true, kUntouched}, Case{u"x12", true, kUntouched},
        Case{u"1.5", true, 1},
        // Tabs and line breaks before the digits are skipped, not removed: after the digits they end them.
        Case{u"\t42", true, 42}, Case{u"\r\n\t-8", true, -8}, Case{u"\v\f3", true, 3}, Case{u"4\t2", true, 4},
        Case{u"\t", true, kUntouched},
        // "0x" alone is two characters, so decimal: the 0 before the x.
        Case{u"0x", true, 0}, Case{u"0X", true, 0},
        // Hexadecimal, either case, as a 32-bit pattern.
        Case{u"0x1e", true, 30}, Case{u"0XfF", true, 255}, Case{u"0xFFFFFFFF", true, -1},
        Case{u"0x80000000", true, INT32_MIN}, Case{u"0x7fffffff", true, INT32_MAX}, Case{u"0x1Fz9", true, 31},
        // "0X" followed by no hexadecimal digit: the prefix's 0 is the number.
        Case{u"0xg", true, 0}, Case{u"0X-1", true, 0}, Case{u"0x\t5", true, 0},
        // Beyond 32 bits the value wraps, in either base.
        Case{u"0x1FFFFFFFF", true, -1}, Case{u"0x100000005", true, 5}, Case{u"4294967296", true, 0},
        Case{u"4294967297", true, 1}, Case{u"2147483648", true, INT32_MIN},
        Case{u"-2147483649", true, INT32_MAX}, Case{u"-4294967295", true, 1},
        // Only U+0020 is a space here: other blanks in the middle stay and end the digits.
        Case{u"1\u00A02", true, 1}, Case{u"\u00A012", true, kUntouched},
        // Digits outside ASCII are no digits.
        Case{u"\uFF11", true, kUntouched}));

}  // namespace
}  // namespace tidings
