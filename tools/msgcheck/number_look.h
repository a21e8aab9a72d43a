// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// How a number text of the message file reads, next to how it looks: the checker's view of
// ParseNumberText.

#ifndef TIDINGS_TOOLS_MSGCHECK_NUMBER_LOOK_H_
#define TIDINGS_TOOLS_MSGCHECK_NUMBER_LOOK_H_

#include <cstdint>
#include <string>

namespace tidings {
namespace msgcheck {

struct NumberLook {
  bool bNumber = false;       // a number was read; when false the field keeps what it held before
  int32_t nValue = 0;         // the number read, as ParseNumberText leaves it in the field
  bool bHex = false;          // read as hexadecimal
  bool bInnerSpace = false;   // a space stands inside the part that was read, which removing it joins
  bool bWraps = false;        // the digits are worth more than 32 bits hold
  std::u16string strIgnored;  // what follows the number and is not read (spaces removed)

  // True when the text reads as the number it shows.
  bool ReadsAsItLooks() const { return bNumber && !bHex && !bInnerSpace && !bWraps && strIgnored.empty(); }
};

// Reads `strText` with ParseNumberText and tells where the result differs from what the text shows. Tabs
// and line breaks before the number, spaces before or after it, and tabs or line breaks alone after it
// change nothing and are not reported.
NumberLook LookAtNumberText(const std::u16string& strText);

}  // namespace msgcheck
}  // namespace tidings

#endif  // TIDINGS_TOOLS_MSGCHECK_NUMBER_LOOK_H_
