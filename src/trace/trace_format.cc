// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "trace/trace_format.h"

#include "platform/utf.h"

namespace tidings {

namespace {

void AppendPadded(const char16_t* digits, size_t nDigits, bool bNegative, bool bZeroPad, size_t nWidth,
                  std::u16string* out) {
  size_t len = nDigits + (bNegative ? 1 : 0);
  size_t pad = nWidth > len ? nWidth - len : 0;
  if (!bZeroPad) out->append(pad, u' ');
  if (bNegative) out->push_back(u'-');
  if (bZeroPad) out->append(pad, u'0');
  out->append(digits, nDigits);
}

void AppendNumber(uint64_t magnitude, unsigned base, bool bNegative, bool bZeroPad, size_t nWidth,
                  std::u16string* out) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  char16_t buf[24];
  size_t n = 0;
  do {
    buf[sizeof buf / sizeof buf[0] - 1 - n] = kDigits[magnitude % base];
    magnitude /= base;
    ++n;
  } while (magnitude != 0);
  AppendPadded(buf + sizeof buf / sizeof buf[0] - n, n, bNegative, bZeroPad, nWidth, out);
}

// The units of a text that must not reach a trace line as they stand: the controls other than TAB (CR
// and LF would end the line, others act on a terminal that shows the log) and the Unicode line and
// paragraph separators.
bool NeedsEscape(char16_t unit) {
  return (unit < 0x20 && unit != u'\t') || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029;
}

// Appends a text, each unit NeedsEscape picks written as \xNN (units up to FF) or \uNNNN, in upper-case
// hexadecimal, so that one call writes only its own lines. Stops at nMaxUnits; an escape that would
// cross that limit is dropped whole, and false says the output is full.
bool AppendText(const char16_t* text, size_t nMaxUnits, std::u16string* out) {
  for (const char16_t* p = text; *p != 0; ++p) {
    if (out->size() >= nMaxUnits) {
      // Cut here: a pair's first half goes with its second.
      if (!out->empty() && platform::IsSurrogatePair(out->back(), *p)) out->pop_back();
      return false;
    }
    const char16_t unit = *p;
    if (!NeedsEscape(unit)) {
      out->push_back(unit);
      continue;
    }
    const size_t nDigits = unit <= 0xFF ? 2 : 4;
    if (out->size() + 2 + nDigits > nMaxUnits) return false;
    out->push_back(u'\\');
    out->push_back(nDigits == 2 ? u'x' : u'u');
    AppendNumber(unit, 16, false, true, nDigits, out);
  }
  return true;
}

}  // namespace

std::u16string FormatTrace(const char16_t* format, const TraceArg* args, size_t nArgs, size_t nMaxUnits) {
  std::u16string out;
  out.reserve(nMaxUnits < 128 ? nMaxUnits : 128);  // most results fit: one allocation, not several
  size_t nextArg = 0;
  bool bRoom = true;
  for (const char16_t* p = format; *p != 0 && bRoom && out.size() < nMaxUnits; ++p) {
    if (*p != u'%') {
      out.push_back(*p);
      continue;
    }
    const char16_t* conv = p + 1;
    if (*conv == u'%') {
      out.push_back(u'%');
      p = conv;
      continue;
    }
    bool bZeroPad = false;
    if (*conv == u'0') {
      bZeroPad = true;
      ++conv;
    }
    size_t nWidth = 0;
    while (*conv >= u'0' && *conv <= u'9') {
      nWidth = nWidth * 10 + static_cast<size_t>(*conv - u'0');
      ++conv;
    }
    if (*conv != u'd' && *conv != u'X' && *conv != u's') {
      out.push_back(*p);  // not a conversion this formatter knows: print the text as it stands
      continue;
    }
    TraceArg arg = nextArg < nArgs ? args[nextArg] : TraceArg();
    ++nextArg;
    switch (*conv) {
      case u'd': {
        int64_t n = arg.kind() == TraceArg::Kind::kAddress
                        ? static_cast<int64_t>(arg.value())
                        : static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(arg.value())));
        uint64_t magnitude = n < 0 ? static_cast<uint64_t>(-(n + 1)) + 1 : static_cast<uint64_t>(n);
        AppendNumber(magnitude, 10, n < 0, bZeroPad, nWidth, &out);
        break;
      }
      case u'X':
        AppendNumber(arg.kind() == TraceArg::Kind::kText ? 0 : arg.value(), 16, false, bZeroPad, nWidth,
                     &out);
        break;
      case u's':
        if (arg.kind() == TraceArg::Kind::kText && arg.text() != nullptr) {
          bRoom = AppendText(arg.text(), nMaxUnits, &out);
        }
        break;
    }
    p = conv;
  }
  out.resize(platform::WholePairsLength(out.data(), out.size(), nMaxUnits));
  return out;
}

}  // namespace tidings
