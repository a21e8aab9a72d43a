// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "module/caller_text.h"

#include <gtest/gtest.h>

namespace tidings {
namespace {

TEST(CallerTextTest, FieldsAreReadToTheirTerminatorButNeverPastTheField) {
  TIDINGS_WCHAR field[8] = {'a', 'b', 0, 'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(CopyFieldText(field, 8), u"ab");
  // No terminator at all: the text is the field's room for text, the last unit left for the terminator.
  for (TIDINGS_WCHAR& unit : field) unit = 'z';
  EXPECT_EQ(CopyFieldText(field, 8), u"zzzzzzz");
  EXPECT_EQ(CopyCallerText(nullptr), u"");
  EXPECT_EQ(CopyFieldText(nullptr, 8), u"");
}

TEST(CallerTextTest, WritingCutsToTheFieldAndLeavesTheRestAlone) {
  TIDINGS_WCHAR field[6];
  for (TIDINGS_WCHAR& unit : field) unit = '#';
  WriteFieldText(u"ab", field, 6);
  EXPECT_EQ(field[0], 'a');
  EXPECT_EQ(field[2], 0);
  EXPECT_EQ(field[3], '#');  // past the terminator the caller's units stay
  WriteFieldText(u"abcdefgh", field, 6);
  EXPECT_EQ(field[4], 'e');
  EXPECT_EQ(field[5], 0);
}

TEST(CallerTextTest, CutsKeepSurrogatePairsWhole) {
  // a, then two pairs: a cut at 4 units would keep half of the second.
  TIDINGS_WCHAR field[5];
  WriteFieldText(u"a\U0001F600\U0001F600", field, 5);
  EXPECT_EQ(std::u16string(field, field + 4), std::u16string(u"a\U0001F600") + u'\0');
  // A lone first half that the caller gave is not the cut's doing and stays.
  const std::u16string lone = {u'a', char16_t(0xD83D), u'b'};
  for (size_t i = 0; i < 3; ++i) field[i] = lone[i];
  EXPECT_EQ(CopyFieldText(field, 3), lone.substr(0, 2));
}

}  // namespace
}  // namespace tidings
