// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "platform/utf.h"

#include <cstdint>

namespace tidings {
namespace platform {

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

namespace {

void AppendUtf16(uint32_t cp, std::u16string* out) {
  if (cp < 0x10000) {
    out->push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

std::string ToUtf8(const std::u16string& text, bool bRawBytes) {
  // ASCII, as most texts are all through (paths, trace lines), is copied unit for byte.
  size_t nAscii = 0;
  while (nAscii < text.size() && text[nAscii] < 0x80) ++nAscii;
  std::string out(nAscii, '\0');
  for (size_t i = 0; i < nAscii; ++i) out[i] = static_cast<char>(text[i]);
  if (nAscii == text.size()) return out;
  out.reserve(text.size() + (text.size() - nAscii) * 2);
  for (size_t i = nAscii; i < text.size(); ++i) {
    uint32_t u = text[i];
    if (i + 1 < text.size() && IsSurrogatePair(text[i], text[i + 1])) {
      AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00u), &out);
      ++i;
    } else if (bRawBytes && u >= 0xDC80 && u <= 0xDCFF) {
      out.push_back(static_cast<char>(u - 0xDC00));
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out.push_back('?');
    } else {
      AppendUtf8(u, &out);
    }
  }
  return out;
}

}  // namespace

std::string Utf16ToUtf8(const std::u16string& text) { return ToUtf8(text, true); }

std::string Utf16ToUtf8Text(const std::u16string& text) { return ToUtf8(text, false); }

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const uint8_t b = static_cast<uint8_t>(text[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    size_t len = 0;  // stays 0 for a byte that starts no sequence
    uint32_t cp = 0;
    uint32_t min = 0;
    if ((b & 0xE0) == 0xC0) {
      len = 2, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4, cp = b & 0x07, min = 0x10000;
    }
    size_t k = 1;
    for (; k < len && i + k < n; ++k) {
      const uint8_t c = static_cast<uint8_t>(text[i + k]);
      if ((c & 0xC0) != 0x80) break;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (len == 0 || k < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      // Only the first byte is taken; each of the others is looked at again on its own.
      out.push_back(static_cast<char16_t>(0xDC00 + b));
      ++i;
      continue;
    }
    AppendUtf16(cp, &out);
    i += len;
  }
  return out;
}

}  // namespace platform
}  // namespace tidings
