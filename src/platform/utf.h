// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Portable UTF-16 text helpers and UTF-8 conversions: the one copy for the library, its tools and tests.

#ifndef TIDINGS_PLATFORM_UTF_H_
#define TIDINGS_PLATFORM_UTF_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tidings {
namespace platform {

inline bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline bool IsSurrogatePair(char16_t hi, char16_t lo) { return IsHighSurrogate(hi) && IsLowSurrogate(lo); }
// Whether text[i] is a surrogate without its partner beside it.
inline bool IsUnpairedSurrogate(std::u16string_view text, size_t i) {
  if (IsHighSurrogate(text[i])) return i + 1 >= text.size() || !IsLowSurrogate(text[i + 1]);
  return IsLowSurrogate(text[i]) && (i == 0 || !IsHighSurrogate(text[i - 1]));
}
// How many of the first `nAvailable` units of `text` to keep when it is cut to at most `nMax` units:
// nMax, or one fewer when the units at nMax - 1 and nMax are a surrogate pair.
inline size_t WholePairsLength(const char16_t* text, size_t nAvailable, size_t nMax) {
  if (nAvailable <= nMax) return nAvailable;
  return nMax != 0 && IsSurrogatePair(text[nMax - 1], text[nMax]) ? nMax - 1 : nMax;
}

// File names and the other texts the system hands over are bytes, mostly but not always UTF-8, and must
// come back byte for byte: a directory named in Latin-1 is still that directory. So a byte that does not
// start or continue a valid sequence decodes into a lone surrogate of its own, U+DC80 to U+DCFF (U+DC00
// plus the byte), which encodes back to that byte. Valid UTF-8 never decodes into a surrogate, so the
// round trip from bytes to UTF-16 and back is exact for any bytes.

// UTF-8 to UTF-16, as above.
std::u16string Utf8ToUtf16(const std::string& text);

// UTF-16 to UTF-8. A lone surrogate U+DC80 to U+DCFF becomes the byte it stands for; any other unpaired
// surrogate becomes '?', the narrow default character.
std::string Utf16ToUtf8(const std::u16string& text);

// UTF-16 to well-formed UTF-8, for text that people read: every unpaired surrogate becomes '?'.
std::string Utf16ToUtf8Text(const std::u16string& text);

// Appends the UTF-8 bytes of the code point `cp` (at most U+10FFFF; a surrogate takes three bytes).
void AppendUtf8(uint32_t cp, std::string* out);

}  // namespace platform
}  // namespace tidings

#endif  // TIDINGS_PLATFORM_UTF_H_
