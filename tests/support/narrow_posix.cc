// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The trace log is UTF-8 here.

#include "narrow_text.h"

namespace tidings {
namespace test {

std::vector<NarrowSample> NarrowSamples() {
  return {
      {u"\u00E9", "\xC3\xA9"},                      // e acute: two bytes
      {u"\u4E2D", "\xE4\xB8\xAD"},                  // a CJK ideograph: three bytes
      {u"\U0001F600", "\xF0\x9F\x98\x80"},          // a surrogate pair: one four-byte character
      {std::u16string(1, u'\xD800') + u"x", "?x"},  // an unpaired surrogate: the default character
      {std::u16string(1, u'\xDCE9'), "?"},          // also one that stands for a byte in a file name
  };
}

}  // namespace test
}  // namespace tidings
