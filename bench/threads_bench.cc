// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Threads reading and adding at once: each round of each thread reads a random message with
// NBX_GetMessage and updates another with NBX_AddMessage (in another letter case), so the store keeps its
// size. Reported as the operations of all threads together per second of wall time.

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench_support.h"

namespace tidings {
namespace bench {

namespace {

LibraryCopy& SharedStore(size_t n) {
  static std::mutex mutex;
  static std::map<size_t, std::unique_ptr<LibraryCopy>> copies;
  std::lock_guard<std::mutex> lock(mutex);
  std::unique_ptr<LibraryCopy>& copy = copies[n];
  if (!copy) {
    copy.reset(new LibraryCopy(MessageFileXml(0, n)));
    copy->api.Initial();  // dynamic messages 0 .. n-1, with keys alike
  }
  return *copy;
}

void ReadAndAdd(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  LibraryCopy& copy = SharedStore(n);
  Rng rng(uint64_t{0x5DEECE66D} * (static_cast<uint64_t>(state.thread_index()) + 1));
  struct Update {
    std::basic_string<TIDINGS_WCHAR> span;
    _Message_AddInfo info;
  };
  std::vector<Update> updates(256);
  for (Update& update : updates) {
    const uint32_t k = static_cast<uint32_t>(rng.Below(n));
    update.span = T(UpperSpanOf(k));
    update.info = MakeAddInfo(UpperNameOf(k), u"Updated by a thread");
  }
  _Message_GetInfo info;
  int64_t nFound = 0;
  size_t i = 0;
  for (auto _ : state) {
    nFound += copy.api.GetMessage(static_cast<int32_t>(rng.Below(n)), &info);
    const Update& update = updates[i++ % updates.size()];
    copy.api.AddMessage(update.span.c_str(), &update.info);
  }
  if (nFound != state.iterations()) state.SkipWithError("a lookup missed");
  state.SetItemsProcessed(state.iterations() * 2);
}

[[maybe_unused]] const bool kRegistered = [] {
  benchmark::RegisterBenchmark("Threads/read_and_add", ReadAndAdd)
      ->Arg(1000)
      ->Arg(100000)
      ->Threads(1)
      ->Threads(2)
      ->Threads(4)
      ->UseRealTime();
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace tidings
