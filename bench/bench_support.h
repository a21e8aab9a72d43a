// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// What the benchmarks share: copies of the built library loaded by path as a client loads them (each copy
// has a store of its own), the message files they start from, and a small random number source.

#ifndef TIDINGS_BENCH_BENCH_SUPPORT_H_
#define TIDINGS_BENCH_BENCH_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "client_api.h"
#include "tidings.h"

namespace tidings {
namespace bench {

namespace fs = std::filesystem;

using Api = client::TidingsApi;
using client::MakeAddInfo;
using client::T;

// A copy of the built library in a fresh directory of its own, with a Config folder beside it, loaded by
// path. Tracing must be off: a copy that writes a trace line ends the run, since every number would then
// include the log.
class LibraryCopy {
 public:
  // Lays `strMsgFile` (when not empty) beside the copy as Config/Msg.xml before loading it.
  explicit LibraryCopy(const std::string& strMsgFile = std::string());
  ~LibraryCopy();
  LibraryCopy(const LibraryCopy&) = delete;
  LibraryCopy& operator=(const LibraryCopy&) = delete;

  fs::path MsgFilePath() const { return m_dir / "Config" / "Msg.xml"; }

  Api api;

 private:
  fs::path m_dir;
  void* m_hLibrary = nullptr;
};

// A fresh directory under the temporary directory, removed again when the process ends.
fs::path MakeScratchDirectory();

// The span and name of the dynamic message with key k, as the message files and the benchmarks write
// them. Keys are unique, so no two messages share a span and name.
std::u16string SpanOf(uint32_t k);
std::u16string NameOf(uint32_t k);
// The same texts in upper case: the same message for the store, which ignores case.
std::u16string UpperSpanOf(uint32_t k);
std::u16string UpperNameOf(uint32_t k);

// A message file with nDefault default messages and the dynamic messages with keys 0 .. nDynamic-1.
std::string MessageFileXml(size_t nDefault, size_t nDynamic);

// xorshift64*: fast and good enough to pick messages at random.
class Rng {
 public:
  explicit Rng(uint64_t seed = 0x9E3779B97F4A7C15ull) : m_state(seed | 1) {}
  uint64_t Next() {
    m_state ^= m_state >> 12;
    m_state ^= m_state << 25;
    m_state ^= m_state >> 27;
    return m_state * 0x2545F4914F6CDD1Dull;
  }
  size_t Below(size_t n) { return static_cast<size_t>((Next() >> 11) % n); }

 private:
  uint64_t m_state;
};

}  // namespace bench
}  // namespace tidings

#endif  // TIDINGS_BENCH_BENCH_SUPPORT_H_
