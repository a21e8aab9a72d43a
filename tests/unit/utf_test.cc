// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "platform/utf.h"

#include <gtest/gtest.h>

#include <utility>

namespace tidings {
namespace platform {
namespace {

TEST(UtfTest, RoundTripsEveryPlaneAndReplacesWhatCannotBeEncoded) {
  const std::u16string text = u"a\u00e9\u4e2d\U0001F600";
  EXPECT_EQ(Utf16ToUtf8(text), "a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80");
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  // Unpaired surrogates become the narrow default character, except those that stand for a byte.
  const std::u16string lone =
      std::u16string(1, u'\xD800') + u"x" + std::u16string(1, u'\xDC00') + std::u16string(1, u'\xDCE9');
  EXPECT_EQ(Utf16ToUtf8(lone), "?x?\xe9");
  EXPECT_EQ(Utf16ToUtf8Text(lone), "?x??");
}

// Broken, overlong and surrogate-encoding sequences, Latin-1 and stray bytes: each byte that is not
// UTF-8 decodes into a lone surrogate of its own and encodes back to itself.
TEST(UtfTest, BytesThatAreNotUtf8RoundTripByteForByte) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"\xff", u"\xDCFF"},
      {"\xc0\xaf", u"\xDCC0\xDCAF"},
      {"\xed\xa0\x80", u"\xDCED\xDCA0\xDC80"},
      {"\xe4\xb8", u"\xDCE4\xDCB8"},
      {"/opt/caf\xe9/", u"/opt/caf\xDCE9/"},
      {"\xe9\xc3\xa9", u"\xDCE9\u00e9"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.first), c.second);
  std::string every;
  for (const auto& c : cases) every += c.first;
  for (int i = 0; i < 512; ++i) every.push_back(static_cast<char>(i));
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(every)), every);
}

}  // namespace
}  // namespace platform
}  // namespace tidings
