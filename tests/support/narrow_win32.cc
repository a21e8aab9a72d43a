// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The trace log is in the ANSI code page here; the samples are for code page 1252, Wine's default.

#include <windows.h>

#include "narrow_text.h"

namespace tidings {
namespace test {

std::vector<NarrowSample> NarrowSamples() {
  if (GetACP() != 1252) return {};
  return {
      {u"\u00E9", "\xE9"},  // e acute: one byte, the same as its code point
      {u"\u20AC", "\x80"},  // the euro sign: 0x80, where 1252 differs from Latin-1
      {u"\u4E2D", "?"},     // a CJK ideograph: not in the code page, so the default character
      {u"\u0100", "?"},     // A with macron: not in the code page either, and not written as A
  };
}

}  // namespace test
}  // namespace tidings
