// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The small printf-style formatter behind the trace log. It works on UTF-16 texts and takes its
// arguments type-safely, so that a format and its arguments can never disagree about sizes.

#ifndef TIDINGS_TRACE_TRACE_FORMAT_H_
#define TIDINGS_TRACE_TRACE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace tidings {

// One argument of a trace format. Integers keep their width: "%X" of a 32-bit value prints at most eight
// digits, "%X" of an address all the digits of the platform's pointer width.
class TraceArg {
 public:
  enum class Kind { kNone, kInt32, kUInt32, kAddress, kText };

  TraceArg() = default;
  TraceArg(int32_t n) : m_kind(Kind::kInt32), m_nValue(static_cast<uint32_t>(n)) {}     // NOLINT
  TraceArg(uint32_t n) : m_kind(Kind::kUInt32), m_nValue(n) {}                          // NOLINT
  TraceArg(const char16_t* text) : m_kind(Kind::kText), m_pText(text) {}                // NOLINT
  TraceArg(const std::u16string& text) : m_kind(Kind::kText), m_pText(text.c_str()) {}  // NOLINT

  // An address, such as a callback's, for "0X%X".
  static TraceArg Address(uintptr_t address) {
    TraceArg arg;
    arg.m_kind = Kind::kAddress;
    arg.m_nValue = address;
    return arg;
  }

  Kind kind() const { return m_kind; }
  uint64_t value() const { return m_nValue; }
  const char16_t* text() const { return m_pText; }

 private:
  Kind m_kind = Kind::kNone;
  uint64_t m_nValue = 0;
  const char16_t* m_pText = nullptr;
};

// Formats `format` with `args` and returns at most `nMaxUnits` units of the result; the rest is dropped
// (never inside a surrogate pair).
// Conversions: "%d" signed decimal, "%X" upper-case hexadecimal without leading zeros, "%s" a text (a null
// text prints nothing; its control characters other than TAB, U+007F to U+009F and the line and
// paragraph separators U+2028 and U+2029 print as "\x0A" or "\u2028", so that no text can end a line),
// "%%" a percent sign; "%d" and "%X" take an optional zero flag and width ("%06d").
// A conversion without an argument, or with one of another kind, prints as it would for 0 or the empty
// text.
std::u16string FormatTrace(const char16_t* format, const TraceArg* args, size_t nArgs, size_t nMaxUnits);

}  // namespace tidings

#endif  // TIDINGS_TRACE_TRACE_FORMAT_H_
