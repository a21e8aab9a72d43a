// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Reading and writing the number texts of the message file.

#ifndef TIDINGS_PERSIST_NUMBER_TEXT_H_
#define TIDINGS_PERSIST_NUMBER_TEXT_H_

#include <cstdint>
#include <string>
#include <type_traits>

namespace tidings {

// Reads a number text: every space (U+0020) is removed wherever it stands, letters are upper-cased, then
// a text longer than two characters that begins with "0X" is hexadecimal (its digits up to the first
// other character, kept as a 32-bit bit pattern, so eight F digits read as -1), and anything else is
// decimal (leading tabs and line breaks skipped, an optional sign, the digits up to the first other
// character; the rest is ignored). Digits beyond 32 bits wrap around, as the C runtime's scanner does.
//
// Returns false, leaving *pnValue alone, when nothing is left once the spaces are gone. Otherwise returns
// true, and writes *pnValue only when digits were found.
bool ParseNumberText(std::u16string strText, int32_t* pnValue);

// An integer as the file's number texts are written ("%d" for a 32-bit one): decimal, a minus sign for a
// negative value, no spaces, no leading zeros, no prefix.
template <typename Integer>
std::u16string DecimalText(Integer n) {
  static_assert(std::is_integral<Integer>::value, "DecimalText writes integers");
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace tidings

#endif  // TIDINGS_PERSIST_NUMBER_TEXT_H_
