// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "persist/number_text.h"

#include <algorithm>

namespace tidings {

namespace {

bool IsScanSpace(char16_t c) { return c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r'; }

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Scans like "%d" (base 10) or "%X" (base 16, with an optional "0X" prefix). The value wraps modulo
// 2^32, which is what the C runtime's scanner leaves in a 32-bit field.
bool Scan(const std::u16string& text, unsigned base, int32_t* pnValue) {
  size_t i = 0;
  while (i < text.size() && IsScanSpace(text[i])) ++i;
  bool bNegative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    bNegative = text[i] == u'-';
    ++i;
  }
  bool bDigits = false;
  if (base == 16 && i + 1 < text.size() && text[i] == u'0' && text[i + 1] == u'X') {
    bDigits = true;  // "0X" with nothing after it still read the digit 0
    i += 2;
  }
  uint32_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
    value = value * base + static_cast<uint32_t>(digit);
    bDigits = true;
  }
  if (!bDigits) return false;
  if (bNegative) value = 0u - value;
  *pnValue = static_cast<int32_t>(value);
  return true;
}

}  // namespace

bool ParseNumberText(std::u16string strText, int32_t* pnValue) {
  strText.erase(std::remove(strText.begin(), strText.end(), u' '), strText.end());
  if (strText.empty()) return false;
  for (char16_t& c : strText) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  const bool bHex = strText.size() > 2 && strText[0] == u'0' && strText[1] == u'X';
  Scan(strText, bHex ? 16 : 10, pnValue);
  return true;
}

}  // namespace tidings
