// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "number_look.h"

#include <vector>

#include "persist/number_text.h"

namespace tidings {
namespace msgcheck {

namespace {

// What the C runtime's scanner skips before a number; spaces are gone by then.
bool IsScanSpace(char16_t c) { return c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r'; }

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

}  // namespace

NumberLook LookAtNumberText(const std::u16string& strText) {
  NumberLook look;
  // The value is the library's. Read from two different starting values, it shows whether the reader
  // wrote the field at all.
  int32_t nFromZero = 0;
  int32_t nFromOne = 1;
  ParseNumberText(strText, &nFromZero);
  ParseNumberText(strText, &nFromOne);
  if (nFromZero != nFromOne) return look;
  look.bNumber = true;
  look.nValue = nFromZero;

  // The reader sees the text with its spaces removed; `origin` leads back to where each character stood.
  std::u16string packed;
  std::vector<size_t> origin;
  for (size_t i = 0; i < strText.size(); ++i) {
    if (strText[i] == u' ') continue;
    packed.push_back(strText[i]);
    origin.push_back(i);
  }
  look.bHex = packed.size() > 2 && packed[0] == u'0' && (packed[1] == u'x' || packed[1] == u'X');
  const unsigned base = look.bHex ? 16 : 10;

  size_t i = 0;
  while (i < packed.size() && IsScanSpace(packed[i])) ++i;
  const size_t nStart = i;
  bool bNegative = false;
  if (i < packed.size() && (packed[i] == u'+' || packed[i] == u'-')) {
    bNegative = packed[i] == u'-';
    ++i;
  }
  if (look.bHex) i += 2;
  // Past 2^40 the exact worth no longer matters: it does not fit either way.
  constexpr uint64_t kSaturated = uint64_t{1} << 40;
  uint64_t nWorth = 0;
  for (; i < packed.size(); ++i) {
    const int digit = DigitValue(packed[i]);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
    if (nWorth < kSaturated) nWorth = nWorth * base + static_cast<unsigned>(digit);
  }
  const size_t nEnd = i;

  if (look.bHex) {
    look.bWraps = nWorth > UINT32_MAX;
  } else {
    look.bWraps = nWorth > (bNegative ? uint64_t{1} << 31 : uint64_t{INT32_MAX});
  }
  if (nEnd > nStart) {
    for (size_t k = origin[nStart]; k < origin[nEnd - 1]; ++k) {
      if (strText[k] == u' ') look.bInnerSpace = true;
    }
  }
  bool bOnlyScanSpace = true;
  for (size_t k = nEnd; k < packed.size(); ++k) bOnlyScanSpace = bOnlyScanSpace && IsScanSpace(packed[k]);
  if (!bOnlyScanSpace) look.strIgnored = packed.substr(nEnd);
  return look;
}

}  // namespace msgcheck
}  // namespace tidings
