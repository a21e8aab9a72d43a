#include "platform/posix/utf.h"

#include <gtest/gtest.h>

namespace tidings {
namespace platform {
namespace {

TEST(UtfTest, RoundTripsEveryPlaneAndReplacesWhatCannotBeEncoded) {
  const std::u16string text = u"a\u00e9\u4e2d\U0001F600";
  EXPECT_EQ(Utf16ToUtf8(text), "a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80");
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  // Unpaired surrogates become the narrow default character.
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800') + u"x" + std::u16string(1, u'\xDC00')), "?x?");
  // Broken, overlong and surrogate-encoding sequences become U+FFFD, one per bad piece.
  EXPECT_EQ(Utf8ToUtf16("\xff"
                        "a"),
            u"\uFFFDa");
  EXPECT_EQ(Utf8ToUtf16("\xc0\xaf"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xed\xa0\x80"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xe4\xb8"), u"\uFFFD");
}

}  // namespace
}  // namespace platform
}  // namespace tidings
