// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The store's exports, with tracing off, against stores of 10, 1,000 and 100,000 dynamic messages (and
// as many default messages), each in a copy of the library of its own, loaded from a message file.
//
// Reads are timed one call at a time at random messages. Calls that add or remove messages are timed in
// batches with the benchmark's manual timer, and the store is put back to its size between batches
// without the timer: every number is the cost of one call against a store of the stated size.

#include <benchmark/benchmark.h>

#if defined(__linux__)
#include <sys/resource.h>
#include <time.h>
#endif

#include <chrono>
#include <deque>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"

namespace tidings {
namespace bench {

namespace {

const int64_t kSizes[] = {10, 1000, 100000};
// Calls per timed batch: enough to make the clock's own cost small beside them.
constexpr size_t kBatch = 8;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The calling thread's processor time in seconds where the system keeps it, else the wall clock. Reading
// it is a system call that takes longer than a removal, so it times long runs only; a run that neither
// blocks nor waits costs that time, without what other processes on a shared machine took of the core.
double ThreadSeconds() {
#if defined(__linux__)
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
#else
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
#endif
}

// Tells whether the calling thread was switched out since the last call (always false where the system
// does not count it). A batch of a few microseconds that another process interrupts takes milliseconds
// by the wall clock: one such batch in a thousand would outweigh the calls, so those are timed again.
class SwitchWatch {
 public:
  SwitchWatch() { Switched(); }
  bool Switched() {
#if defined(__linux__)
    rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    const long nSwitches = usage.ru_nvcsw + usage.ru_nivcsw;
    const bool bSwitched = nSwitches != m_nSwitches;
    m_nSwitches = nSwitches;
    return bSwitched;
#else
    return false;
#endif
  }

 private:
  long m_nSwitches = 0;
};

// One dynamic message as the benchmarks know it: its ID and the key of its span and name.
struct Live {
  int32_t dwMsgID;
  uint32_t nKey;
};

// A copy of the library holding n default and n dynamic messages, with the benchmarks' record of the
// dynamic list, in list order.
class Store {
 public:
  static Store& Of(size_t n) {
    static std::map<size_t, std::unique_ptr<Store>> stores;
    std::unique_ptr<Store>& store = stores[n];
    if (!store) store.reset(new Store(n));
    return *store;
  }

  const Api& api() const { return m_lib.api; }
  size_t size() const { return m_nSize; }

  // The live messages, the last one added last. Otherwise in no order: a removal moves the last one into
  // the place of the one removed, so that this record, which the timed calls do not use, does not sweep
  // the cache with a shift of its own just before them.
  std::vector<Live> live;

  // A key no message has had yet.
  uint32_t FreshKey() { return m_nNextKey++; }
  // Records that the benchmark added the message with key k, new to the store.
  void Added(uint32_t k) { live.push_back({m_nNextMsgID++, k}); }
  // Adds the message with key k, new to the store, and records it.
  void AddNew(uint32_t k) {
    const _Message_AddInfo info = MakeAddInfo(NameOf(k), u"Added by the benchmark");
    api().AddMessage(T(SpanOf(k)).c_str(), &info);
    Added(k);
  }
  // The ID the next new message gets; never in the store.
  int32_t NextMsgID() const { return m_nNextMsgID; }

 private:
  explicit Store(size_t n) : m_lib(MessageFileXml(n, n)), m_nSize(n) {
    api().Initial();
    for (uint32_t k = 0; k < n; ++k) live.push_back({static_cast<int32_t>(k), k});
    m_nNextMsgID = static_cast<int32_t>(n);
    m_nNextKey = static_cast<uint32_t>(n);
    _Message_GetInfo info;
    if (api().GetMessage(static_cast<int32_t>(n) - 1, &info) != 1 ||
        api().GetMessage(-1 - static_cast<int32_t>(n), &info) != 1 ||
        api().GetMessage(static_cast<int32_t>(n), &info) != 0) {
      std::fprintf(stderr, "tidings_bench: the store of %zu messages did not load\n", n);
      std::exit(2);
    }
  }

  LibraryCopy m_lib;
  size_t m_nSize;
  int32_t m_nNextMsgID = 0;
  uint32_t m_nNextKey = 0;
};

int32_t RandomDefaultID(Rng& rng, size_t n) { return -2 - static_cast<int32_t>(rng.Below(n)); }

// ---- Lookups.

void GetMessageHit(benchmark::State& state, bool bDefault) {
  Store& store = Store::Of(static_cast<size_t>(state.range(0)));
  Rng rng;
  _Message_GetInfo info;
  int64_t nFound = 0;
  for (auto _ : state) {
    const int32_t id =
        bDefault ? RandomDefaultID(rng, store.size()) : store.live[rng.Below(store.live.size())].dwMsgID;
    nFound += store.api().GetMessage(id, &info);
  }
  if (nFound != state.iterations()) state.SkipWithError("a lookup missed");
}

void GetMessageMiss(benchmark::State& state, bool bDefault) {
  Store& store = Store::Of(static_cast<size_t>(state.range(0)));
  Rng rng;
  _Message_GetInfo info;
  int64_t nFound = 0;
  for (auto _ : state) {
    const int32_t id = bDefault ? -2 - static_cast<int32_t>(store.size() + rng.Below(1000))
                                : store.NextMsgID() + static_cast<int32_t>(rng.Below(1000));
    nFound += store.api().GetMessage(id, &info);
  }
  if (nFound != 0) state.SkipWithError("a lookup found a message that is not there");
}

// The same 64 dynamic messages over and over, so that they stay in the cache: what the lookup itself
// costs, without the cache misses of reading a message from a large store (the item and its text).
void CachedLookups(benchmark::State& state, bool bStep) {
  Store& store = Store::Of(static_cast<size_t>(state.range(0)));
  Rng rng;
  std::vector<int32_t> ids(64);
  for (int32_t& id : ids) id = store.live[rng.Below(store.live.size())].dwMsgID;
  _Message_GetInfo info;
  int32_t dwNext = 0;
  int64_t nFound = 0;
  size_t i = 0;
  for (auto _ : state) {
    const int32_t id = ids[i++ % ids.size()];
    nFound += bStep ? store.api().GetNextMessage(id, &dwNext, &info) : store.api().GetMessage(id, &info);
  }
  if (nFound != state.iterations()) state.SkipWithError("a lookup missed");
}

void GetNextMessageStep(benchmark::State& state, bool bDefault) {
  Store& store = Store::Of(static_cast<size_t>(state.range(0)));
  Rng rng;
  _Message_GetInfo info;
  int32_t dwNext = 0;
  int64_t nFound = 0;
  for (auto _ : state) {
    const int32_t id =
        bDefault ? RandomDefaultID(rng, store.size()) : store.live[rng.Below(store.live.size())].dwMsgID;
    nFound += store.api().GetNextMessage(id, &dwNext, &info);
  }
  if (nFound != state.iterations()) state.SkipWithError("a step found nothing");
}

// From a message around the list and back to it: n steps.
void GetNextMessageWalk(benchmark::State& state, bool bDefault) {
  Store& store = Store::Of(static_cast<size_t>(state.range(0)));
  _Message_GetInfo info;
  for (auto _ : state) {
    const int32_t dwFirst = bDefault ? -2 : store.live.front().dwMsgID;
    int32_t id = dwFirst;
    size_t nSteps = 0;
    do {
      if (store.api().GetNextMessage(id, &id, &info) != 1) break;
      ++nSteps;
    } while (id != dwFirst);
    if (nSteps != store.size()) state.SkipWithError("the walk did not visit every message once");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(store.size()));
}

// ---- Adding and updating.

// A different letter case of an existing message's span and name: an update.
void AddMessageUpdate(benchmark::State& state) {
  Store& store = Store::Of(static_cast<size_t>(state.range(0)));
  Rng rng;
  struct Update {
    std::basic_string<TIDINGS_WCHAR> span;
    _Message_AddInfo info;
  };
  std::vector<Update> updates(256);
  for (Update& update : updates) {
    const uint32_t k = store.live[rng.Below(store.live.size())].nKey;
    update.span = T(UpperSpanOf(k));
    update.info = MakeAddInfo(UpperNameOf(k), u"Updated by the benchmark");
  }
  size_t i = 0;
  for (auto _ : state) {
    const Update& update = updates[i++ % updates.size()];
    store.api().AddMessage(update.span.c_str(), &update.info);
  }
}

void AddMessageNew(benchmark::State& state) {
  Store& store = Store::Of(static_cast<size_t>(state.range(0)));
  std::vector<std::basic_string<TIDINGS_WCHAR>> spans(kBatch);
  std::vector<_Message_AddInfo> infos(kBatch);
  std::vector<uint32_t> keys(kBatch);
  for (auto _ : state) {
    for (size_t j = 0; j < kBatch; ++j) {
      keys[j] = store.FreshKey();
      spans[j] = T(SpanOf(keys[j]));
      infos[j] = MakeAddInfo(NameOf(keys[j]), u"Added by the benchmark");
    }
    const Clock::time_point start = Clock::now();
    for (size_t j = 0; j < kBatch; ++j) store.api().AddMessage(spans[j].c_str(), &infos[j]);
    state.SetIterationTime(SecondsSince(start) / kBatch);
    // Back to the store's size: the new messages are the last ones, so their removal moves nothing.
    for (size_t j = 0; j < kBatch; ++j) store.Added(keys[j]);
    for (size_t j = 0; j < kBatch; ++j) {
      store.api().DeleteMessageFromID(store.live.back().dwMsgID);
      store.live.pop_back();
    }
  }
}

// ---- Removing: messages at random places go, and as many new ones take their place at the end. With
// bRefill, a batch's time is that of the removals and of the adds after them: a removal may leave work to
// the next add (packing the list), and this shows what a removal costs with its share of that.

template <typename RemoveFn>
void RemoveBatches(benchmark::State& state, RemoveFn remove, bool bRefill = false) {
  Store& store = Store::Of(static_cast<size_t>(state.range(0)));
  Rng rng;
  SwitchWatch watch;
  std::vector<Live> victims(kBatch);
  std::vector<uint32_t> keys(kBatch);
  std::vector<std::basic_string<TIDINGS_WCHAR>> spans(kBatch);
  std::vector<_Message_AddInfo> infos(kBatch);
  for (auto _ : state) {
    const size_t nBatch = kBatch < store.live.size() ? kBatch : store.live.size();
    double seconds = 0;
    for (int nTry = 0; nTry < 100; ++nTry) {
      for (size_t j = 0; j < nBatch; ++j) {
        const size_t pos = rng.Below(store.live.size());
        victims[j] = store.live[pos];
        store.live[pos] = store.live.back();
        store.live.pop_back();
        keys[j] = store.FreshKey();
        spans[j] = T(SpanOf(keys[j]));
        infos[j] = MakeAddInfo(NameOf(keys[j]), u"Added by the benchmark");
      }
      watch.Switched();
      seconds = remove(store, victims, nBatch);
      const Clock::time_point start = Clock::now();
      for (size_t j = 0; j < nBatch; ++j) store.api().AddMessage(spans[j].c_str(), &infos[j]);
      if (bRefill) seconds += SecondsSince(start);
      for (size_t j = 0; j < nBatch; ++j) store.Added(keys[j]);
      if (!watch.Switched()) break;
    }
    state.SetIterationTime(seconds / static_cast<double>(nBatch));
  }
}

void DeleteMessageFromID(benchmark::State& state, bool bRefill) {
  RemoveBatches(
      state,
      [](Store& store, const std::vector<Live>& victims, size_t nBatch) {
        const Clock::time_point start = Clock::now();
        for (size_t j = 0; j < nBatch; ++j) store.api().DeleteMessageFromID(victims[j].dwMsgID);
        return SecondsSince(start);
      },
      bRefill);
}

// By span and name, in another letter case than they were added with.
void DeleteMessage(benchmark::State& state) {
  std::vector<std::basic_string<TIDINGS_WCHAR>> spans(kBatch), names(kBatch);
  RemoveBatches(state, [&](Store& store, const std::vector<Live>& victims, size_t nBatch) {
    for (size_t j = 0; j < nBatch; ++j) {
      spans[j] = T(UpperSpanOf(victims[j].nKey));
      names[j] = T(UpperNameOf(victims[j].nKey));
    }
    const Clock::time_point start = Clock::now();
    for (size_t j = 0; j < nBatch; ++j) store.api().DeleteMessage(spans[j].c_str(), names[j].c_str());
    return SecondsSince(start);
  });
}

// ---- Removing every message of a store of N, one call each, oldest first (each removal then takes the
// first message of the list) or newest first, timed by the thread's processor time. The store is filled
// again between runs, without the timer.

enum class Removal { kByIdOldestFirst, kByIdNewestFirst, kByNameOldestFirst };

void RemoveAll(benchmark::State& state, Removal removal) {
  const size_t n = static_cast<size_t>(state.range(0));
  // A copy of its own per case, started empty: its IDs are then 0, 1, 2, ... in the order of adding.
  struct Copy {
    LibraryCopy library;
    int32_t dwNextMsgID = 0;
  };
  static std::map<std::pair<size_t, Removal>, std::unique_ptr<Copy>> copies;
  std::unique_ptr<Copy>& copy = copies[{n, removal}];
  if (!copy) {
    copy.reset(new Copy);
    copy->library.api.Initial();
  }
  const Api& api = copy->library.api;
  std::vector<int32_t> ids(n);
  std::vector<std::basic_string<TIDINGS_WCHAR>> spans(n), names(n);
  for (auto _ : state) {
    for (size_t j = 0; j < n; ++j) {
      const uint32_t k = static_cast<uint32_t>(j);
      const _Message_AddInfo info = MakeAddInfo(NameOf(k), u"Added by the benchmark");
      spans[j] = T(UpperSpanOf(k));
      names[j] = T(UpperNameOf(k));
      api.AddMessage(T(SpanOf(k)).c_str(), &info);
      ids[j] = copy->dwNextMsgID++;
    }
    const double dStart = ThreadSeconds();
    switch (removal) {
      case Removal::kByIdOldestFirst:
        for (size_t j = 0; j < n; ++j) api.DeleteMessageFromID(ids[j]);
        break;
      case Removal::kByIdNewestFirst:
        for (size_t j = n; j-- > 0;) api.DeleteMessageFromID(ids[j]);
        break;
      case Removal::kByNameOldestFirst:
        for (size_t j = 0; j < n; ++j) api.DeleteMessage(spans[j].c_str(), names[j].c_str());
        break;
    }
    state.SetIterationTime(ThreadSeconds() - dStart);
    int32_t dwFirst = -1;
    _Message_GetInfo info;
    if (api.GetNextMessage(0, &dwFirst, &info) != 0) state.SkipWithError("a message was not removed");
  }
}

void MessageHasPopup(benchmark::State& state) {
  Store& store = Store::Of(static_cast<size_t>(state.range(0)));
  Rng rng;
  for (auto _ : state) store.api().MessageHasPopup(store.live[rng.Below(store.live.size())].dwMsgID);
}

// ---- A notification to k subscribers: NBX_MessageHasPopup on a store of 10 messages.

int64_t g_nCallbacks = 0;
void TIDINGS_CALLBACK CountChange(int32_t /*dwMsgID*/, int32_t /*nAddType*/) { ++g_nCallbacks; }

void Notify(benchmark::State& state) {
  const size_t nSubscribers = static_cast<size_t>(state.range(0));
  static std::map<size_t, std::unique_ptr<LibraryCopy>> copies;
  std::unique_ptr<LibraryCopy>& copy = copies[nSubscribers];
  if (!copy) {
    copy.reset(new LibraryCopy(MessageFileXml(0, 10)));
    copy->api.Initial();
    for (size_t i = 0; i < nSubscribers; ++i) copy->api.Subscribe(nullptr, &CountChange, 0);
  }
  Rng rng;
  g_nCallbacks = 0;
  for (auto _ : state) copy->api.MessageHasPopup(static_cast<int32_t>(rng.Below(10)));
  if (g_nCallbacks != state.iterations() * static_cast<int64_t>(nSubscribers)) {
    state.SkipWithError("a subscriber was not called");
  }
}

// ---- Unsubscribing from N subscriptions, in the order they were made (the one removed is then always
// the first on the list) or at random. A batch is removed, then as many are made again at the end.

void Unsubscribe(benchmark::State& state, bool bRandomOrder) {
  const size_t n = static_cast<size_t>(state.range(0));
  struct Copy {
    LibraryCopy library;
    std::deque<uint32_t> live;  // the handles on the list, in its order
    uint32_t hNext = 1;         // handles go 1, 2, 3, ... per loaded copy, never reused
    void Subscribe() {
      library.api.Subscribe(nullptr, &CountChange, 0);
      live.push_back(hNext++);
    }
  };
  static std::map<std::pair<size_t, bool>, std::unique_ptr<Copy>> copies;
  std::unique_ptr<Copy>& copy = copies[{n, bRandomOrder}];
  if (!copy) {
    copy.reset(new Copy{LibraryCopy(), {}, 1});
    for (size_t i = 0; i < n; ++i) copy->Subscribe();
  }
  Rng rng;
  std::vector<uint32_t> victims(kBatch);
  for (auto _ : state) {
    for (size_t j = 0; j < kBatch; ++j) {
      const size_t i = bRandomOrder ? rng.Below(copy->live.size()) : 0;
      victims[j] = copy->live[i];
      copy->live.erase(copy->live.begin() + static_cast<std::ptrdiff_t>(i));
    }
    const Clock::time_point start = Clock::now();
    for (uint32_t h : victims) copy->library.api.UNSubscribe(h);
    state.SetIterationTime(SecondsSince(start) / kBatch);
    for (size_t j = 0; j < kBatch; ++j) copy->Subscribe();
  }
}

template <typename Fn>
void RegisterSized(const std::string& name, Fn fn, bool bManualTime = false) {
  benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(name.c_str(), fn);
  for (int64_t n : kSizes) b->Arg(n);
  if (bManualTime) b->UseManualTime();
}

[[maybe_unused]] const bool kRegistered = [] {
  RegisterSized("GetMessage/hit/dynamic", [](benchmark::State& s) { GetMessageHit(s, false); });
  RegisterSized("GetMessage/hit/default", [](benchmark::State& s) { GetMessageHit(s, true); });
  RegisterSized("GetMessage/miss/dynamic", [](benchmark::State& s) { GetMessageMiss(s, false); });
  RegisterSized("GetMessage/miss/default", [](benchmark::State& s) { GetMessageMiss(s, true); });
  RegisterSized("GetNextMessage/step/dynamic", [](benchmark::State& s) { GetNextMessageStep(s, false); });
  RegisterSized("GetNextMessage/step/default", [](benchmark::State& s) { GetNextMessageStep(s, true); });
  RegisterSized("GetMessage/hit_cached/dynamic", [](benchmark::State& s) { CachedLookups(s, false); });
  RegisterSized("GetNextMessage/step_cached/dynamic", [](benchmark::State& s) { CachedLookups(s, true); });
  RegisterSized("GetNextMessage/walk/dynamic", [](benchmark::State& s) { GetNextMessageWalk(s, false); });
  RegisterSized("GetNextMessage/walk/default", [](benchmark::State& s) { GetNextMessageWalk(s, true); });
  RegisterSized("AddMessage/update", AddMessageUpdate);
  RegisterSized("AddMessage/new", AddMessageNew, true);
  RegisterSized(
      "DeleteMessageFromID", [](benchmark::State& s) { DeleteMessageFromID(s, false); }, true);
  RegisterSized(
      "DeleteMessageFromID/with_refill", [](benchmark::State& s) { DeleteMessageFromID(s, true); }, true);
  RegisterSized("DeleteMessage", DeleteMessage, true);
  RegisterSized("MessageHasPopup", MessageHasPopup);
  for (auto entry : {std::make_pair("RemoveAll/by_id/oldest_first", Removal::kByIdOldestFirst),
                     std::make_pair("RemoveAll/by_id/newest_first", Removal::kByIdNewestFirst),
                     std::make_pair("RemoveAll/by_name/oldest_first", Removal::kByNameOldestFirst)}) {
    const Removal removal = entry.second;
    benchmark::RegisterBenchmark(entry.first, [removal](benchmark::State& s) { RemoveAll(s, removal); })
        ->Arg(1000)
        ->Arg(100000)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("Notify/subscribers", Notify)->Arg(1)->Arg(10)->Arg(100);
  RegisterSized(
      "UNSubscribe/handle_order", [](benchmark::State& s) { Unsubscribe(s, false); }, true);
  RegisterSized(
      "UNSubscribe/random_order", [](benchmark::State& s) { Unsubscribe(s, true); }, true);
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace tidings
