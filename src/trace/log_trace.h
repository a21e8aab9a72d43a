// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// CLogTrace: the process-wide trace log, an append-only text file that records the library's calls
// when a machine-wide switch is set.

#ifndef TIDINGS_TRACE_LOG_TRACE_H_
#define TIDINGS_TRACE_LOG_TRACE_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "trace/trace_format.h"

namespace tidings {

class CLogTrace {
 public:
  // Off, with no path and the size limit 10 MiB, until Init.
  CLogTrace() = default;
  CLogTrace(const CLogTrace&) = delete;
  CLogTrace& operator=(const CLogTrace&) = delete;

  // Sets the path and the size limit; bTraceOn (the switch the caller read) turns tracing on for good.
  // REQUIRES: no other thread uses the log yet (it runs while the library loads).
  void Init(std::u16string strLogFile, uint32_t dwMaxFileSize, bool bTraceOn);

  // Appends one line "TID:<thread> [<local time>.<seconds mod 1000>]     <text>" with CR LF, where text is
  // `format` formatted with `args` (see FormatTrace) and cut to 1023 units. When tracing is off, it
  // returns before formatting anything. Every failure is silent. Safe to
  // call from any thread; concurrent lines, also from other processes, never mix.
  template <typename... Args>
  void WriteTrace(const char16_t* format, const Args&... args) const {
    if (m_bTraceOn == 0) return;
    const TraceArg argv[sizeof...(Args) + 1] = {TraceArg(args)..., TraceArg()};
    WriteLine(format, argv, sizeof...(Args));
  }

 private:
  void WriteLine(const char16_t* format, const TraceArg* args, size_t nArgs) const noexcept;
  // Appends the local time text of `seconds` to a narrow line.
  void AppendTimeText(int64_t seconds, std::string* pstrLine) const;

  std::u16string m_strLogFile;
  uint32_t m_dwMaxFileSize = 0xA00000;
  int32_t m_bTraceOn = 0;

  // The time text of the second the last line was written in, narrow: converting a time costs more
  // than all the rest of a line, and lines come many to a second.
  mutable platform::Mutex m_timeLock;
  mutable int64_t m_nTimeSeconds TIDINGS_GUARDED_BY(m_timeLock) = INT64_MIN;
  mutable std::string m_strTimeText TIDINGS_GUARDED_BY(m_timeLock);
};

}  // namespace tidings

#endif  // TIDINGS_TRACE_LOG_TRACE_H_
