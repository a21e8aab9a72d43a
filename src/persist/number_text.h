// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Reading the number texts of the message file.

#ifndef TIDINGS_PERSIST_NUMBER_TEXT_H_
#define TIDINGS_PERSIST_NUMBER_TEXT_H_

#include <cstdint>
#include <string>

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

}  // namespace tidings

#endif  // TIDINGS_PERSIST_NUMBER_TEXT_H_
