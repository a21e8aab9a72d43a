// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Copying texts between the caller's records and the library's own strings.

#ifndef TIDINGS_MODULE_CALLER_TEXT_H_
#define TIDINGS_MODULE_CALLER_TEXT_H_

#include <cstddef>
#include <string>

#include "tidings.h"

namespace tidings {

// Copies a caller's zero-terminated text; a null pointer reads as the empty text.
std::u16string CopyCallerText(const TIDINGS_WCHAR* text);

// Copies a text from a fixed field of `nFieldUnits` units: up to its terminator, and never more than
// nFieldUnits - 1 units, even when the caller left no terminator in the field. A cut never splits a
// surrogate pair: when it would, the pair's first half is left out too.
std::u16string CopyFieldText(const TIDINGS_WCHAR* field, size_t nFieldUnits);

// Writes `text` with a terminator into a fixed field of `nFieldUnits` units, cut to nFieldUnits - 1
// units when longer (one fewer when the cut would split a surrogate pair). The units after the
// terminator are left as they were.
void WriteFieldText(const std::u16string& text, TIDINGS_WCHAR* field, size_t nFieldUnits);

}  // namespace tidings

#endif  // TIDINGS_MODULE_CALLER_TEXT_H_
