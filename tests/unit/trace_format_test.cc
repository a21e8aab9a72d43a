// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "trace/trace_format.h"

#include <gtest/gtest.h>

namespace tidings {
namespace {

std::u16string Format(const char16_t* format, std::initializer_list<TraceArg> args, size_t nMax = 1023) {
  return FormatTrace(format, args.begin(), args.size(), nMax);
}

TEST(TraceFormatTest, ConversionsPrintLikeTheCRuntime) {
  EXPECT_EQ(Format(u"%d|%d|%d", {0, -1, INT32_MIN}), u"0|-1|-2147483648");
  EXPECT_EQ(Format(u"0X%X 0X%X", {1u, 0xFFFFFFFFu}), u"0X1 0XFFFFFFFF");
  EXPECT_EQ(Format(u"%06d|%03d|%06d", {1234, 5, 1234567}), u"001234|005|1234567");
  EXPECT_EQ(Format(u"%s,%s.", {u"span", static_cast<const char16_t*>(nullptr)}), u"span,.");
  EXPECT_EQ(Format(u"100%%", {}), u"100%");
  // A negative 32-bit value given to %X prints its bit pattern.
  EXPECT_EQ(Format(u"%X", {-1}), u"FFFFFFFF");
}

TEST(TraceFormatTest, AddressesPrintAllTheirDigits) {
  const uintptr_t address = static_cast<uintptr_t>(0x12345678u) << (sizeof(uintptr_t) > 4 ? 16 : 0);
  const std::u16string text = Format(u"0X%X", {TraceArg::Address(address)});
  EXPECT_EQ(text, sizeof(uintptr_t) > 4 ? u"0X123456780000" : u"0X12345678");
}

TEST(TraceFormatTest, OutputIsCutAtTheLimitAndMissingArgumentsPrintEmpty) {
  const std::u16string longText(1500, u'x');
  EXPECT_EQ(Format(u"%s", {longText}).size(), 1023u);
  EXPECT_EQ(Format(u"ab%scd", {longText}, 4), u"abxx");
  EXPECT_EQ(Format(u"a%s", {u"\U0001F600\U0001F600"}, 4), u"a\U0001F600");  // no half pair
  EXPECT_EQ(Format(u"[%d][%s]", {}), u"[0][]");
}

// What the client test of forged lines leaves out: the other classes escaped, what stays as it is, and
// that an escape that would cross the limit is left out whole, with nothing after it.
TEST(TraceFormatTest, ControlCharactersInTextsPrintAsEscapes) {
  EXPECT_EQ(Format(u"[%s]", {u"\t\x7F\u0085\u009F\u00A0C:\\x0A"}), u"[\t\\x7F\\x85\\x9F\u00A0C:\\x0A]");
  EXPECT_EQ(Format(u"%s%s", {u"abc\n", u"d"}, 6), u"abc");
  EXPECT_EQ(Format(u"%s", {u"abc\n"}, 7), u"abc\\x0A");
}

}  // namespace
}  // namespace tidings
