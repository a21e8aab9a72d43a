// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Fuzzes the reader of the message file's number texts: the input, taken as UTF-16 units, must never
// crash it, and its two promises must hold: false exactly when nothing but spaces was given, and the
// output untouched then.

#include <cstddef>
#include <cstdint>
#include <string>

#include "persist/number_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  const bool bOnlySpaces = text.find_first_not_of(u' ') == std::u16string::npos;
  const int32_t kUntouched = 0x13572468;
  int32_t nValue = kUntouched;
  const bool bResult = tidings::ParseNumberText(text, &nValue);
  if (bResult == bOnlySpaces) __builtin_trap();
  if (!bResult && nValue != kUntouched) __builtin_trap();
  return 0;
}
