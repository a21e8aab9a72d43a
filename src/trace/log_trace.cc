// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "trace/log_trace.h"

#include <memory>
#include <utility>

#include "platform/platform.h"

namespace tidings {

namespace {

constexpr size_t kMaxTextUnits = 1023;  // the caller's text, as its 1024-unit buffer holds it

std::u16string GetTimeText(int64_t seconds) {
  std::u16string text;
  if (!platform::FormatLocalTime(seconds, &text)) text.clear();
  return text;
}

// A 32-bit number as "%0<width>d" formats it (FormatTrace): the sign, then the zeros, then the digits.
void AppendZeroPadded(int32_t n, size_t nWidth, std::string* out) {
  char digits[10];
  size_t nDigits = 0;
  uint32_t magnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
  do {
    digits[nDigits++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  const size_t nLength = nDigits + (n < 0 ? 1u : 0u);
  if (n < 0) out->push_back('-');
  if (nWidth > nLength) out->append(nWidth - nLength, '0');
  while (nDigits > 0) out->push_back(digits[--nDigits]);
}

}  // namespace

void CLogTrace::Init(std::u16string strLogFile, uint32_t dwMaxFileSize, bool bTraceOn) {
  m_strLogFile = std::move(strLogFile);
  m_dwMaxFileSize = dwMaxFileSize;
  if (bTraceOn) m_bTraceOn = 1;
}

void CLogTrace::WriteLine(const char16_t* format, const TraceArg* args, size_t nArgs) const noexcept {
  try {
    std::u16string text = FormatTrace(format, args, nArgs, kMaxTextUnits);
    std::unique_ptr<platform::AppendFile> file = platform::OpenAppendFile(m_strLogFile);
    if (!file) return;
    // The size test precedes every line, so the file grows at most one line (per writer) past the limit.
    if (file->Size() > m_dwMaxFileSize && !file->TruncateIfLarger(m_dwMaxFileSize)) return;
    const int64_t seconds = platform::CurrentTimeSeconds();
    // "TID:%06d [%s.%03d]     %s\r\n", put together in narrow text: all but the caller's text is ASCII,
    // which every narrow encoding writes as it is, so only that text needs converting.
    std::string line;
    line.reserve(48 + 3 * text.size());
    line += "TID:";
    AppendZeroPadded(static_cast<int32_t>(platform::CurrentThreadId()), 6, &line);
    line += " [";
    AppendTimeText(seconds, &line);
    line += '.';
    AppendZeroPadded(static_cast<int32_t>(((seconds % 1000) + 1000) % 1000), 3, &line);
    line += "]     ";
    line += platform::ToNarrowText(text);
    line += "\r\n";
    file->Append(line.data(), line.size());  // a failed write is not reported to anyone
  } catch (...) {
    // Out of memory while building the line: the line is lost, the caller goes on.
  }
}

void CLogTrace::AppendTimeText(int64_t seconds, std::string* pstrLine) const {
  platform::LockHolder<platform::Mutex> lock(m_timeLock);
  if (seconds != m_nTimeSeconds) {
    m_strTimeText = platform::ToNarrowText(GetTimeText(seconds));
    m_nTimeSeconds = seconds;
  }
  *pstrLine += m_strTimeText;
}

}  // namespace tidings
