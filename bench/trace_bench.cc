// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// One trace line, beside the bare system calls it makes (open, size, seek, write, close; and the same with
// the lock that keeps concurrent writers apart), and the cost that tracing off adds to a call.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "bench_support.h"
#include "trace/log_trace.h"

namespace tidings {

namespace bench {

namespace {

constexpr uint32_t kMaxLogFileSize = 0xA00000;  // as the library sets it
constexpr int32_t kMsgID = 123456;

// A line as long as those the library writes below.
const std::string kLine =
    "TID:004711 [2026-12-09 08:31:21.641]     Enter Fun GetMessage, dwMsgID is 123456\r\n";

void TraceLine(benchmark::State& state) {
  CLogTrace trace;
  trace.Init((MakeScratchDirectory() / "UILogTrace.txt").u16string(), kMaxLogFileSize, true);
  for (auto _ : state) trace.WriteTrace(u"Enter Fun GetMessage, dwMsgID is %d", kMsgID);
}

#if defined(_WIN32)

void BareCalls(benchmark::State& state, bool bLock) {
  const std::wstring path = (MakeScratchDirectory() / "bare.txt").wstring();
  for (auto _ : state) {
    HANDLE h =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      state.SkipWithError("cannot open the file");
      break;
    }
    OVERLAPPED ov = {};
    if (bLock) ::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &ov);
    LARGE_INTEGER size;
    ::GetFileSizeEx(h, &size);
    if (size.QuadPart > kMaxLogFileSize) {
      ::SetFilePointer(h, 0, nullptr, FILE_BEGIN);
      ::SetEndOfFile(h);
    }
    LARGE_INTEGER zero = {};
    ::SetFilePointerEx(h, zero, nullptr, FILE_END);
    DWORD written = 0;
    ::WriteFile(h, kLine.data(), static_cast<DWORD>(kLine.size()), &written, nullptr);
    if (bLock) ::UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &ov);
    ::CloseHandle(h);
  }
}

#else

void BareCalls(benchmark::State& state, bool bLock) {
  const std::string path = (MakeScratchDirectory() / "bare.txt").string();
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
      state.SkipWithError("cannot open the file");
      break;
    }
    if (bLock) ::flock(fd, LOCK_EX);
    struct stat st;
    ::fstat(fd, &st);
    if (st.st_size > static_cast<off_t>(kMaxLogFileSize) && ::ftruncate(fd, 0) != 0)
      state.SkipWithError("ftruncate");
    ::lseek(fd, 0, SEEK_END);
    if (::write(fd, kLine.data(), kLine.size()) != static_cast<ssize_t>(kLine.size()))
      state.SkipWithError("write");
    ::close(fd);
  }
}

#endif

// A call's trace line with tracing off, arguments as an export passes them; beside the same loop
// without it. The object is read again in every round, as a call into the library reads it.
void TraceOff(benchmark::State& state) {
  CLogTrace trace;
  const std::u16string strSpan = u"Mail";
  const std::u16string strName = u"Message 12345";
  for (auto _ : state) {
    benchmark::DoNotOptimize(&trace);
    trace.WriteTrace(u"Enter Fun DeleteMessage, lpMsgSpanName is %s, wszMsgName is %s,", strSpan, strName);
    benchmark::ClobberMemory();
  }
}

void TraceOffBaseline(benchmark::State& state) {
  CLogTrace trace;
  for (auto _ : state) {
    benchmark::DoNotOptimize(&trace);
    benchmark::ClobberMemory();
  }
}

[[maybe_unused]] const bool kRegistered = [] {
  benchmark::RegisterBenchmark("Trace/line", TraceLine);
  benchmark::RegisterBenchmark("Trace/bare_calls", [](benchmark::State& s) { BareCalls(s, false); });
  benchmark::RegisterBenchmark("Trace/bare_calls_locked", [](benchmark::State& s) { BareCalls(s, true); });
  benchmark::RegisterBenchmark("Trace/off", TraceOff);
  benchmark::RegisterBenchmark("Trace/off_baseline", TraceOffBaseline);
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace tidings
