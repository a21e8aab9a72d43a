// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Text helpers of the XML layer: Xerces-C's text units as the library's, and the file's bytes decoded and
// encoded with Xerces-C's transcoders, so that a save can read and write a file in the encoding it has.

#ifndef TIDINGS_PERSIST_XML_TEXT_H_
#define TIDINGS_PERSIST_XML_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <xercesc/util/XercesDefs.hpp>

namespace tidings {

static_assert(sizeof(XMLCh) == sizeof(char16_t), "Xerces-C must use 16-bit text units");

inline const XMLCh* X(const char16_t* text) { return reinterpret_cast<const XMLCh*>(text); }
inline const XMLCh* X(const std::u16string& text) { return X(text.c_str()); }
inline const char16_t* U(const XMLCh* text) { return reinterpret_cast<const char16_t*>(text); }
inline std::u16string Text(const XMLCh* text) {
  return text == nullptr ? std::u16string() : std::u16string(U(text));
}

// Appends the hexadecimal character reference to `c`, as `&#x9;` or `&#x1F600;`.
void AppendCharReference(char32_t c, std::u16string* pOut);

// The length of the byte-order mark that `bytes` begin with (UTF-8, UTF-16 or UCS-4), or 0.
size_t ByteOrderMarkSize(std::string_view bytes);

// Bytes decoded in an encoding, with where each unit came from.
struct DecodedBytes {
  std::u16string text;
  // The bytes each unit took; the units of one character share its bytes among them.
  std::vector<unsigned char> sizes;

  // The index of the unit that starts at byte `nOffset` (counted from the start of what was decoded);
  // npos when no unit starts there.
  size_t UnitAt(size_t nOffset) const;
  // The byte at which unit `nUnit` starts (text.size() for the end).
  size_t OffsetOf(size_t nUnit) const;
  static constexpr size_t npos = static_cast<size_t>(-1);
};

// Decodes `bytes` in `encoding` (a name the transcoding service knows); false when it cannot.
bool DecodeBytes(std::string_view bytes, const XMLCh* encoding, DecodedBytes* pDecoded);

// Encodes `text` (markup and attribute values, as a save writes them) in `encoding`. A character outside
// ASCII that the encoding has no bytes for is written as a character reference, which is good in the
// attribute values where alone such characters stand. False when there is no transcoder for the encoding,
// or it cannot write an ASCII character.
bool EncodeText(std::u16string_view text, const XMLCh* encoding, std::string* pBytes);

}  // namespace tidings

#endif  // TIDINGS_PERSIST_XML_TEXT_H_
