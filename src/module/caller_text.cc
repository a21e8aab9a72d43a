// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "module/caller_text.h"

#include <cstring>

#include "platform/utf.h"

namespace tidings {

namespace {

// The units are read and written with memcpy because on Windows the caller's unit type (wchar_t) and
// ours (char16_t) are distinct types of the same size.
char16_t UnitAt(const TIDINGS_WCHAR* text, size_t i) {
  char16_t unit;
  std::memcpy(&unit, text + i, sizeof unit);
  return unit;
}

std::u16string CopyUnits(const TIDINGS_WCHAR* text, size_t n) {
  std::u16string out(n, u'\0');
  if (n != 0) std::memcpy(&out[0], text, n * sizeof(char16_t));
  return out;
}

}  // namespace

std::u16string CopyCallerText(const TIDINGS_WCHAR* text) {
  if (text == nullptr) return std::u16string();
  size_t n = 0;
  while (UnitAt(text, n) != 0) ++n;
  return CopyUnits(text, n);
}

std::u16string CopyFieldText(const TIDINGS_WCHAR* field, size_t nFieldUnits) {
  if (field == nullptr || nFieldUnits == 0) return std::u16string();
  size_t n = 0;
  while (n + 1 < nFieldUnits && UnitAt(field, n) != 0) ++n;
  if (n + 1 == nFieldUnits && n != 0) {
    // Cut by the field's end: the unit there decides whether the last one kept is half a pair.
    if (platform::IsSurrogatePair(UnitAt(field, n - 1), UnitAt(field, n))) --n;
  }
  return CopyUnits(field, n);
}

void WriteFieldText(const std::u16string& text, TIDINGS_WCHAR* field, size_t nFieldUnits) {
  if (nFieldUnits == 0) return;
  const size_t n = platform::WholePairsLength(text.data(), text.size(), nFieldUnits - 1);
  if (n != 0) std::memcpy(field, text.data(), n * sizeof(char16_t));
  const char16_t terminator = 0;
  std::memcpy(field + n, &terminator, sizeof terminator);
}

}  // namespace tidings
