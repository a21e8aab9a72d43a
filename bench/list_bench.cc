// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The store's message list on its own, at random messages of lists of 10, 1,000 and 100,000: the
// search by ID alone, the same search followed by a read of the message it finds, and that read without
// a search. A lookup export's cost at random messages of a large store grows with the store even though
// its search does not; these tell the two apart: the growth is in reading a message that has left the
// cache, which any store pays.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "store/message_list.h"

namespace tidings {
namespace bench {

namespace {

const int64_t kSizes[] = {10, 1000, 100000};

// A dynamic list of n messages, IDs 0 .. n-1, with the texts the message files give them.
const CMessageList& ListOf(size_t n) {
  static std::map<size_t, std::unique_ptr<CMessageList>> lists;
  std::unique_ptr<CMessageList>& list = lists[n];
  if (!list) {
    list.reset(new CMessageList);
    list->Reserve(n);
    for (uint32_t k = 0; k < n; ++k) {
      _Message_Item item;
      item.strMsgSpan = SpanOf(k);
      item.strMsgName = NameOf(k);
      item.strMsgSInfo = u"Information for the message " + NameOf(k);
      item.strMsgEchoPath = u"/opt/tidings/handlers/EchoHandler.so";
      item.dwMsgID = static_cast<int32_t>(k);
      list->Append(std::move(item));
    }
  }
  return *list;
}

// What a lookup export reads of the message it found: a unit of each text and the numbers.
uint32_t ReadMessage(const _Message_Item& item) {
  const uint32_t nUnits =
      uint32_t{item.strMsgSpan[0]} + item.strMsgName[0] + item.strMsgSInfo[0] + item.strMsgEchoPath[0];
  return nUnits + static_cast<uint32_t>(item.ShowType + item.dwPopShowTimeout + item.dwMsgID);
}

void FindById(benchmark::State& state) {
  const CMessageList& list = ListOf(static_cast<size_t>(state.range(0)));
  Rng rng;
  for (auto _ : state) {
    const size_t i = list.FindById(static_cast<int32_t>(rng.Below(list.size())));
    if (i == CMessageList::npos) state.SkipWithError("a message was not found");
    benchmark::DoNotOptimize(i);
  }
}

void FindByIdAndRead(benchmark::State& state) {
  const CMessageList& list = ListOf(static_cast<size_t>(state.range(0)));
  Rng rng;
  for (auto _ : state) {
    const size_t i = list.FindById(static_cast<int32_t>(rng.Below(list.size())));
    if (i == CMessageList::npos) {
      state.SkipWithError("a message was not found");
      break;
    }
    benchmark::DoNotOptimize(ReadMessage(list[i]));
  }
}

void ReadAtRandom(benchmark::State& state) {
  const CMessageList& list = ListOf(static_cast<size_t>(state.range(0)));
  Rng rng;
  for (auto _ : state) benchmark::DoNotOptimize(ReadMessage(list[rng.Below(list.size())]));
}

[[maybe_unused]] const bool kRegistered = [] {
  for (auto entry : {std::make_pair("List/find_by_id", &FindById),
                     std::make_pair("List/find_by_id_and_read", &FindByIdAndRead),
                     std::make_pair("List/read_without_search", &ReadAtRandom)}) {
    benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(entry.first, entry.second);
    for (int64_t n : kSizes) b->Arg(n);
  }
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace tidings
