// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Memory per message: every allocation of this program is counted, and the store's bytes are set beside
// the four texts of its messages (the string objects and their heap blocks). The store is driven
// directly here, a CMsgGov over the core, which is the code the library runs; a separate program,
// because counting allocations would slow every other benchmark.
//
// What the store may hold beside the texts: 64 bytes per message on 64-bit builds, indexes included.
//
// Memory of a load and a save: the most the heap holds at once during each, beyond what it held before
// the manager was made (so the messages in memory count towards the save's), beside the size of the
// file; and the most the save holds beyond what was held before it began. Neither may come to more than
// 15 times the file's size; for files under 1 MiB that is not checked, since the parser's own tables then
// count for more than the file. The cases of large files have "/100000" in their names, so that a short
// run can leave them out.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <vector>
#include <xercesc/util/PlatformUtils.hpp>

#include "bench_support.h"
#include "module/msg_gov.h"

// ---- Counting allocation: a header before each block keeps its size.

namespace {

std::atomic<int64_t> g_nLiveBytes{0};
std::atomic<int64_t> g_nPeakBytes{0};  // the most g_nLiveBytes reached since it was last set
constexpr size_t kHeader = alignof(std::max_align_t) > sizeof(size_t) ? alignof(std::max_align_t)
                                                                      : sizeof(size_t);

void* CountedAlloc(size_t n) noexcept {
  unsigned char* base = static_cast<unsigned char*>(std::malloc(n + kHeader));
  if (base == nullptr) return nullptr;
  *reinterpret_cast<size_t*>(base) = n;
  const int64_t nLive =
      g_nLiveBytes.fetch_add(static_cast<int64_t>(n), std::memory_order_relaxed) + static_cast<int64_t>(n);
  int64_t nPeak = g_nPeakBytes.load(std::memory_order_relaxed);
  while (nLive > nPeak && !g_nPeakBytes.compare_exchange_weak(nPeak, nLive, std::memory_order_relaxed)) {
  }
  return base + kHeader;
}

void CountedFree(void* p) noexcept {
  if (p == nullptr) return;
  unsigned char* base = static_cast<unsigned char*>(p) - kHeader;
  g_nLiveBytes.fetch_sub(static_cast<int64_t>(*reinterpret_cast<size_t*>(base)), std::memory_order_relaxed);
  std::free(base);
}

void* CountedNew(size_t n) {
  void* p = CountedAlloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(size_t n) { return CountedNew(n); }
void* operator new[](size_t n) { return CountedNew(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return CountedAlloc(n == 0 ? 1 : n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return CountedAlloc(n == 0 ? 1 : n); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { CountedFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { CountedFree(p); }

namespace tidings {

class CMessageStoreTestPeer {
 public:
  // The bytes of the four texts of every message in both lists, and how many messages there are.
  static size_t TextBytes(CMessageStore& store, size_t* pnMessages) {
    CAutoCriticalSection lock(store.m_cs);
    size_t nBytes = 0;
    *pnMessages = store.m_DynamicMsgList.size() + store.m_DefaultMsgList.size();
    for (const CMessageList* list : {&store.m_DynamicMsgList, &store.m_DefaultMsgList}) {
      for (size_t i = list->First(); i != CMessageList::npos; i = list->Next(i)) {
        const _Message_Item& item = (*list)[i];
        for (const std::u16string* text :
             {&item.strMsgSpan, &item.strMsgName, &item.strMsgSInfo, &item.strMsgEchoPath}) {
          nBytes += sizeof(std::u16string) + HeapBlock(*text);
        }
      }
    }
    return nBytes;
  }

 private:
  // A text longer than the string's own room lives in a heap block of capacity + 1 units (libstdc++).
  static size_t HeapBlock(const std::u16string& text) {
    const char* data = reinterpret_cast<const char*>(text.data());
    const char* self = reinterpret_cast<const char*>(&text);
    if (data >= self && data < self + sizeof text) return 0;
    return (text.capacity() + 1) * sizeof(char16_t);
  }
};

class CMsgGovTestPeer {
 public:
  static CMessageStore& Store(CMsgGov& gov) { return gov.m_store; }
};

namespace bench {

namespace {

struct Row {
  std::string strName;
  size_t nMessages;
  double dBytes, dTexts;
};
std::vector<Row> g_rows;

void Report(benchmark::State& state, const char* name, CMsgGov& gov, int64_t nStoreBytes) {
  size_t nMessages = 0;
  const size_t nTextBytes = CMessageStoreTestPeer::TextBytes(CMsgGovTestPeer::Store(gov), &nMessages);
  const double dBytes = static_cast<double>(nStoreBytes) / static_cast<double>(nMessages);
  const double dTexts = static_cast<double>(nTextBytes) / static_cast<double>(nMessages);
  state.counters["messages"] = static_cast<double>(nMessages);
  state.counters["bytes_per_msg"] = dBytes;
  state.counters["texts_per_msg"] = dTexts;
  state.counters["beside_texts"] = dBytes - dTexts;
  g_rows.push_back({std::string(name) + "/" + std::to_string(state.range(0)), nMessages, dBytes, dTexts});
}

std::u16string InfoOf(uint32_t k) {
  const std::string digits = std::to_string(k);
  return u"Information text of message " + std::u16string(digits.begin(), digits.end());
}

// n messages added one by one with NBX_AddMessage's code, the dynamic list's index built on the way;
// then half of them removed again, to see what stays behind of the room they took: the later half (from
// the back, which leaves no empty slot), or every other message (each leaving an empty slot between two
// messages until the list packs them).
enum class Halve { kNo, kLaterHalf, kEveryOther };

void AddedMessages(benchmark::State& state, const char* name, Halve halve) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    CLogTrace trace;
    const int64_t nBefore = g_nLiveBytes.load();
    CMsgGov gov(trace);
    for (uint32_t k = 0; k < n; ++k) {
      const _Message_AddInfo info = MakeAddInfo(NameOf(k), InfoOf(k));
      gov.AddMessage(T(SpanOf(k)).c_str(), &info);
    }
    if (halve == Halve::kLaterHalf) {
      for (uint32_t k = n; k-- > n / 2;) gov.DeleteMessageFromID(static_cast<int32_t>(k));
    } else if (halve == Halve::kEveryOther) {
      for (uint32_t k = 0; k < n; k += 2) gov.DeleteMessageFromID(static_cast<int32_t>(k));
    }
    Report(state, name, gov, g_nLiveBytes.load() - nBefore);
  }
}

// A message file of n default and n dynamic messages loaded, then one lookup by span and name, so that
// whatever a lookup builds is there too.
void LoadedMessages(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const fs::path path = MakeScratchDirectory() / "Msg.xml";
  {
    std::ofstream out(path, std::ios::binary);
    out << MessageFileXml(n, n);
  }
  CLogTrace trace;
  {
    CMsgGov warmUp(trace);  // Xerces-C's own first-use allocations stay out of the count
    warmUp.LoadMsgFile(path.u16string());
  }
  for (auto _ : state) {
    const int64_t nBefore = g_nLiveBytes.load();
    CMsgGov gov(trace);
    gov.LoadMsgFile(path.u16string());
    gov.DeleteMessage(T(u"no such span").c_str(), T(u"no such name").c_str());
    Report(state, "Memory/loaded", gov, g_nLiveBytes.load() - nBefore);
  }
}

struct SaveRow {
  std::string strName;
  int64_t nFileBytes;
  int64_t nLoadPeak;  // the most the manager held during the load
  int64_t nSavePeak;  // the most it held during the save, its messages included
  int64_t nSaveOwn;   // the most the save held beyond what was held before it
};
std::vector<SaveRow> g_saveRows;

// A file of n empty elements beside the message sections, which hold one dynamic message: the file a
// save reads with the most nodes for its size.
std::string EmptyElementsXml(size_t n) {
  std::string xml = "<Root><MsgList><DynamicMsg><Message MsgSInfo=\"m\"/></DynamicMsg></MsgList>";
  for (size_t i = 0; i < n; ++i) xml += "<e/>";
  return xml + "</Root>";
}

// A manager loads the file made by make(n) and saves it (MsgGovFinish's save): the most the heap held
// at once during each, beyond what it held before the manager was made, so the messages in memory count
// towards the save's peak.
void SavePeak(benchmark::State& state, const char* name, std::string (*make)(size_t)) {
  const std::string xml = make(static_cast<size_t>(state.range(0)));
  const std::u16string path = (MakeScratchDirectory() / "Msg.xml").u16string();
  auto writeFile = [&] {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out << xml;
  };
  writeFile();
  CLogTrace trace;
  {
    CMsgGov warmUp(trace);  // Xerces-C's own first-use allocations stay out of the count
    warmUp.LoadMsgFile(path);
  }
  for (auto _ : state) {
    writeFile();
    const int64_t nBase = g_nLiveBytes.load();
    g_nPeakBytes.store(nBase);
    CMsgGov gov(trace);
    gov.LoadMsgFile(path);
    const int64_t nLoadPeak = g_nPeakBytes.load() - nBase;
    const int64_t nBefore = g_nLiveBytes.load();
    g_nPeakBytes.store(nBefore);
    gov.SaveMsgFile(path);
    const int64_t nSavePeak = g_nPeakBytes.load() - nBase;
    const int64_t nPeak = g_nPeakBytes.load() - nBefore;
    size_t nLeft = 0;
    CMessageStoreTestPeer::TextBytes(CMsgGovTestPeer::Store(gov), &nLeft);
    if (nLeft != 0) state.SkipWithError("the save did not write the file");
    state.counters["file_bytes"] = static_cast<double>(xml.size());
    state.counters["load_peak_per_file_byte"] =
        static_cast<double>(nLoadPeak) / static_cast<double>(xml.size());
    state.counters["save_peak_per_file_byte"] =
        static_cast<double>(nSavePeak) / static_cast<double>(xml.size());
    state.counters["save_own_per_file_byte"] = static_cast<double>(nPeak) / static_cast<double>(xml.size());
    g_saveRows.push_back({std::string(name) + "/" + std::to_string(state.range(0)),
                          static_cast<int64_t>(xml.size()), nLoadPeak, nSavePeak, nPeak});
  }
}

[[maybe_unused]] const bool kRegistered = [] {
  auto added = [](const char* name, Halve halve) {
    benchmark::RegisterBenchmark(name, [name, halve](benchmark::State& s) { AddedMessages(s, name, halve); })
        ->Arg(1000)
        ->Arg(100000)
        ->Iterations(1);
  };
  added("Memory/added", Halve::kNo);
  benchmark::RegisterBenchmark("Memory/loaded", LoadedMessages)->Arg(1000)->Arg(100000)->Iterations(1);
  added("Memory/halved", Halve::kLaterHalf);
  added("Memory/every_other_removed", Halve::kEveryOther);
  benchmark::RegisterBenchmark(
      "Memory/save",
      [](benchmark::State& s) { SavePeak(s, "Memory/save", [](size_t n) { return MessageFileXml(0, n); }); })
      ->Arg(1000)
      ->Arg(100000)
      ->Iterations(1);
  benchmark::RegisterBenchmark(
      "Memory/save_empty_elements",
      [](benchmark::State& s) { SavePeak(s, "Memory/save_empty_elements", EmptyElementsXml); })
      ->Arg(1000)
      ->Arg(1000000)
      ->Iterations(1);
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace tidings

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  xercesc::XMLPlatformUtils::Initialize();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf(
      "\n| Store (bytes per message) | Messages | All | Texts | Beside the texts (at most 64) |\n"
      "|---|---|---|---|---|\n");
  // The bound holds for 64-bit builds; a store over it makes the run fail.
  const double dBound = sizeof(void*) == 8 ? 64.0 : 1e9;
  int nOver = 0;
  for (const tidings::bench::Row& row : tidings::bench::g_rows) {
    std::printf("| %s | %llu | %.1f | %.1f | %.1f |\n", row.strName.c_str(),
                static_cast<unsigned long long>(row.nMessages), row.dBytes, row.dTexts,
                row.dBytes - row.dTexts);
    if (row.dBytes - row.dTexts > dBound) ++nOver;
  }
  if (nOver != 0)
    std::printf("\n%d of the stores hold more than 64 bytes per message beside the texts\n", nOver);
  int nSavesOver = 0;
  if (!tidings::bench::g_saveRows.empty()) {
    std::printf(
        "\n| Load, then save (the most the heap held at once) | File | Load peak | Save peak, messages "
        "included | The save's own | Highest / file (at most 15 from 1 MiB) |\n"
        "|---|---|---|---|---|---|\n");
  }
  for (const tidings::bench::SaveRow& row : tidings::bench::g_saveRows) {
    const double dRatio =
        static_cast<double>(std::max(row.nLoadPeak, row.nSavePeak)) / static_cast<double>(row.nFileBytes);
    std::printf("| %s | %.2f MB | %.1f MB | %.1f MB | %.1f MB | %.1f |\n", row.strName.c_str(),
                static_cast<double>(row.nFileBytes) / 1e6, static_cast<double>(row.nLoadPeak) / 1e6,
                static_cast<double>(row.nSavePeak) / 1e6, static_cast<double>(row.nSaveOwn) / 1e6, dRatio);
    if (row.nFileBytes >= (1 << 20) && dRatio > 15) ++nSavesOver;
  }
  if (nSavesOver != 0)
    std::printf("\n%d of the loads or saves hold more than 15 times their file\n", nSavesOver);
  return nOver == 0 && nSavesOver == 0 ? 0 : 1;
}
