// CLogTrace: the process-wide trace log, an append-only text file that records the library's calls
// when a machine-wide switch is set.

#ifndef TIDINGS_TRACE_LOG_TRACE_H_
#define TIDINGS_TRACE_LOG_TRACE_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "trace/trace_format.h"

namespace tidings {

// The level every trace line of the library is written at.
constexpr uint32_t kTraceLevel = 4;

class CLogTrace {
 public:
  // Off, with the path "c:\aa.txt", the size limit 10 MiB and every level in the mask. Nothing is ever
  // written before Init, so the construction-time path is never used.
  CLogTrace();
  virtual ~CLogTrace();
  CLogTrace(const CLogTrace&) = delete;
  CLogTrace& operator=(const CLogTrace&) = delete;

  // Sets the path, mask and size limit, then reads the switch: tracing goes on when the value "Debug" of
  // SOFTWARE\quellbridge\Halvern3.0 or "AmbrelDebugFlag" of SOFTWARE under HKEY_LOCAL_MACHINE reads
  // "1" (a REG_SZ "1" or a REG_DWORD 1). Nothing turns it off again.
  // REQUIRES: no other thread uses the log yet (it runs while the library loads).
  void Init(std::u16string strLogFile, uint32_t dwLevelMask, uint32_t dwMaxFileSize);

  // Appends one line "TID:<thread> [<local time>.<seconds mod 1000>]     <text>" with CR LF, where text is
  // `format` formatted with `args` (see FormatTrace) and cut to 1023 units. When tracing is off, or the
  // level is not in the mask, it returns before formatting anything. Every failure is silent. Safe to
  // call from any thread; concurrent lines, also from other processes, never mix.
  template <typename... Args>
  void WriteTrace(uint32_t dwLevel, const char16_t* format, const Args&... args) const {
    if (m_bTraceOn == 0 || (dwLevel & m_dwLevelMask) == 0) return;
    const TraceArg argv[sizeof...(Args) + 1] = {TraceArg(args)..., TraceArg()};
    WriteLine(format, argv, sizeof...(Args));
  }

  bool IsTraceOn() const { return m_bTraceOn != 0; }
  const std::u16string& LogFile() const { return m_strLogFile; }

 private:
  friend class CLogTraceTestPeer;  // lets tests and benchmarks turn tracing on without the settings store

  void WriteLine(const char16_t* format, const TraceArg* args, size_t nArgs) const noexcept;
  // Appends the local time text of `seconds` to a narrow line.
  void AppendTimeText(int64_t seconds, std::string* pstrLine) const;

  std::u16string m_strLogFile;
  uint32_t m_dwMaxFileSize;
  uint32_t m_dwLevelMask;
  int32_t m_bTraceOn;

  // The time text of the second the last line was written in, narrow: converting a time costs more
  // than all the rest of a line, and lines come many to a second.
  mutable platform::Mutex m_timeLock;
  mutable int64_t m_nTimeSeconds TIDINGS_GUARDED_BY(m_timeLock) = INT64_MIN;
  mutable std::string m_strTimeText TIDINGS_GUARDED_BY(m_timeLock);
};

// Reads a value under HKEY_LOCAL_MACHINE as text: a REG_DWORD as signed decimal, a REG_SZ up to its
// terminator; empty for any other type, and for a value that is absent or larger than `cbBuffer` bytes.
std::u16string ReadRegistryText(const std::u16string& keyPath, const std::u16string& valueName,
                                size_t cbBuffer);

}  // namespace tidings

#endif  // TIDINGS_TRACE_LOG_TRACE_H_
